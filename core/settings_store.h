#pragma once

#include <optional>
#include <string>

namespace cat {

// The per-user store of text values by group and key ("Setup"/"Top", "Ports"/"Com3").
// Implementations never throw: an unreadable store reads as empty.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    virtual std::optional<std::string> Read(const std::string& group, const std::string& key) = 0;
    virtual void Write(const std::string& group, const std::string& key,
                       const std::string& value) = 0;
    // Pushes the writes out; false when the store could not be written.
    virtual bool Sync() = 0;
};

}  // namespace cat
