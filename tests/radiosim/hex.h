#pragma once

// Bytes written and printed as hexadecimal ("fe fe 5e e0 03 fd"), so a failing test shows
// frames the way radio manuals print them. The tests read and print them as radiosim itself does.

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "tools/radiosim/text.h"

namespace radiosim::test {

using radiosim::Hex;

// A frame written in a test; a typing mistake in it stops the test instead of sending less.
inline std::string Bytes(std::string_view hex) {
    const std::optional<std::string> bytes = ParseHexBytes(hex);
    if (!bytes) throw std::invalid_argument("not hexadecimal bytes: " + std::string(hex));
    return *bytes;
}

}  // namespace radiosim::test
