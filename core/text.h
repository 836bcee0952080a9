#pragma once

// Small text helpers shared by every layer. Each caller says which blanks it trims: the radio's
// and the operator's fields are padded with spaces only, a hand-edited settings value may also
// carry tabs and line ends.

#include <string>
#include <string_view>

namespace cat {

inline constexpr std::string_view kSpaces = " ";
inline constexpr std::string_view kBlanks = " \t\r\n";

// "  5E " -> "5E"; all blanks -> "".
std::string_view Trim(std::string_view text, std::string_view blanks = kSpaces);

// ASCII upper case; bytes above 127 are left as they are, whatever the locale.
std::string UpperCase(std::string_view text);

}  // namespace cat
