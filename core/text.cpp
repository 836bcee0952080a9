#include "core/text.h"

namespace cat {

std::string_view Trim(std::string_view text, std::string_view blanks) {
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

std::string Bounded(std::string_view text, std::size_t most) {
    if (text.size() <= most) return std::string(text);
    return std::string(text.substr(0, most)) + "... (" + std::to_string(text.size() - most) +
           " more characters)";
}

std::string UpperCase(std::string_view text) {
    std::string upper(text);
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return upper;
}

std::string OneLine(std::string_view text) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b != 0x7F) {
            out.push_back(c);
        } else {
            out += "\\x";
            out.push_back(kDigits[b >> 4]);
            out.push_back(kDigits[b & 15]);
        }
    }
    return out;
}

}  // namespace cat
