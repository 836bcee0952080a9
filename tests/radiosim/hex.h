#pragma once

// Bytes written and printed as hexadecimal ("fe fe 5e e0 03 fd"), so a failing test shows
// frames the way radio manuals print them.

#include <string>
#include <string_view>

namespace radiosim::test {

inline std::string Bytes(std::string_view hex) {
    std::string out;
    int high = -1;
    for (char c : hex) {
        int digit = -1;
        if (c >= '0' && c <= '9') digit = c - '0';
        if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        if (digit < 0) continue;
        if (high < 0) {
            high = digit;
        } else {
            out.push_back(static_cast<char>(high << 4 | digit));
            high = -1;
        }
    }
    return out;
}

inline std::string Hex(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (!out.empty()) out.push_back(' ');
        out.push_back(kDigits[byte >> 4]);
        out.push_back(kDigits[byte & 15]);
    }
    return out;
}

}  // namespace radiosim::test
