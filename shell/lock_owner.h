#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace cat {

// Who holds the single-copy lock, as its file says: in QLockFile's layout, the process number,
// program name, host name, machine id and boot id, one per line. Anyone who can write the home
// folder can put anything there, so every line is optional but the process number.
struct LockOwner {
    std::int64_t pid = 0;
    std::string host;
    std::string machineId;
};

// Nothing when the first line is not a positive process number (a file still being written, or
// not a lock file at all).
std::optional<LockOwner> ParseLockOwner(std::string_view contents);

}  // namespace cat
