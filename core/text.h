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

// Text from a settings file or a device, fit for one line of a terminal: control characters
// (a line end inside a hand-edited value) are shown as \xNN, everything else is kept.
std::string OneLine(std::string_view text);

// A value as much of it is printed: at most `most` characters of `text`, and when more came,
// "... (N more characters)" in place of the rest, so that a far end that sends a huge value
// costs the output a bounded line that still says how much was left out.
std::string Bounded(std::string_view text, std::size_t most);

// ASCII upper case; bytes above 127 are left as they are, whatever the locale.
std::string UpperCase(std::string_view text);

}  // namespace cat
