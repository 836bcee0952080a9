#include "shell/lock_owner.h"

#include <charconv>

#include "core/text.h"

namespace cat {

namespace {

std::string_view LineAt(std::string_view text, int index) {
    for (; index > 0; --index) {
        const std::size_t end = text.find('\n');
        if (end == std::string_view::npos) return {};
        text.remove_prefix(end + 1);
    }
    return text.substr(0, text.find('\n'));
}

}  // namespace

std::optional<LockOwner> ParseLockOwner(std::string_view contents) {
    // Qt reads the number leniently about blanks around it; a lock file written by hand may have
    // them too.
    const std::string_view number = Trim(LineAt(contents, 0), kBlanks);
    LockOwner owner;
    const auto [end, error] =
        std::from_chars(number.data(), number.data() + number.size(), owner.pid);
    if (error != std::errc() || end != number.data() + number.size() || owner.pid <= 0)
        return std::nullopt;
    owner.host = std::string(LineAt(contents, 2));
    owner.machineId = std::string(LineAt(contents, 3));
    return owner;
}

}  // namespace cat
