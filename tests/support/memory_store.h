#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "core/settings_store.h"

namespace cat::test {

// A settings store in memory that remembers the order of writes.
class MemoryStore : public SettingsStore {
public:
    std::map<std::pair<std::string, std::string>, std::string> values;
    std::vector<std::string> writeOrder;  // keys, in the order written
    bool writable = true;

    std::optional<std::string> Read(const std::string& group, const std::string& key) override {
        auto it = values.find({group, key});
        if (it == values.end()) return std::nullopt;
        return it->second;
    }
    void Write(const std::string& group, const std::string& key,
               const std::string& value) override {
        writeOrder.push_back(key);
        if (writable) values[{group, key}] = value;
    }
    bool Sync() override { return writable; }

    void Set(const std::string& key, const std::string& value) { values[{"Setup", key}] = value; }
    std::optional<std::string> Get(const std::string& key) { return Read("Setup", key); }
};

}  // namespace cat::test
