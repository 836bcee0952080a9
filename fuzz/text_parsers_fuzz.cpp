// Arbitrary text where the program takes text from outside: a [Ports] value, a line-settings
// text, a stored number, a lock file, the command line (split at NUL bytes into arguments), and
// another process's command line as /proc holds it, and the known ports' file, which must read
// back as it was written.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/line_settings.h"
#include "core/port_names.h"
#include "core/stored_values.h"
#include "link/known_ports.h"
#include "shell/command_line.h"
#include "shell/device_holders.h"
#include "shell/lock_owner.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    cat::ParsePortTarget(text);
    cat::IsNetworkAddress(text);
    cat::ParseLineSettings(text);
    cat::RoundToInt16(cat::NumericValue(text));
    cat::ParseLockOwner(text);
    cat::HolderOf(1, text, text);
    std::vector<std::string> args;
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t end = std::min(text.find('\0', start), text.size());
        args.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    cat::ParseCommandLine(args);
    const std::string known = cat::KnownPorts::Parse(text).Text();
    if (cat::KnownPorts::Parse(known).Text() != known) __builtin_trap();
    return 0;
}
