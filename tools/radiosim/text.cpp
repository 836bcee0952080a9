#include "tools/radiosim/text.h"

namespace radiosim {

std::string Hex(std::string_view bytes) {
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

std::string Printable(std::string_view text) {
    std::string out;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7f && c != '\\') {
            out.push_back(c);
        } else {
            out += "\\x" + Hex(std::string_view(&c, 1));
        }
    }
    return out;
}

std::string HertzDigits(std::int64_t hz, std::size_t width) {
    std::string digits(width, '0');
    for (std::size_t i = width; i > 0 && hz > 0; --i, hz /= 10)
        digits[i - 1] = static_cast<char>('0' + hz % 10);
    return digits;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<std::string> ParseHexBytes(std::string_view text) {
    std::string out;
    int high = -1;
    for (char c : text) {
        if (c == ' ' || c == '\t') {
            if (high >= 0) return std::nullopt;
            continue;
        }
        const int digit = HexDigit(c);
        if (digit < 0) return std::nullopt;
        if (high < 0) {
            high = digit;
        } else {
            out.push_back(static_cast<char>(high << 4 | digit));
            high = -1;
        }
    }
    if (high >= 0) return std::nullopt;
    return out;
}

namespace {

// Whole part (at most `whole_max` digits) and a fraction of `places` digits; the fraction may
// run longer only with zeros. Both "7" and ".5" are numbers, "." is not.
std::optional<std::int64_t> ParseDecimal(std::string_view text, int whole_max, int places) {
    std::int64_t whole = 0;
    std::int64_t fraction = 0;
    int whole_digits = 0;
    int fraction_digits = 0;
    std::size_t i = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (++whole_digits > whole_max) return std::nullopt;
        whole = whole * 10 + (text[i] - '0');
    }
    if (i < text.size() && text[i] == '.') {
        for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
            if (fraction_digits < places) {
                fraction = fraction * 10 + (text[i] - '0');
                ++fraction_digits;
            } else if (text[i] != '0') {
                return std::nullopt;  // finer than the unit
            }
        }
        if (fraction_digits == 0 && whole_digits == 0) return std::nullopt;
    }
    if (i != text.size() || (whole_digits == 0 && fraction_digits == 0)) return std::nullopt;
    std::int64_t scale = 1;
    for (int p = 0; p < places; ++p) scale *= 10;
    for (; fraction_digits < places; ++fraction_digits) fraction *= 10;
    return whole * scale + fraction;
}

}  // namespace

std::optional<std::int64_t> ParseMegahertz(std::string_view text) {
    return ParseDecimal(text, 5, 6);
}

std::optional<std::int64_t> ParseSeconds(std::string_view text) {
    const auto ms = ParseDecimal(text, 5, 3);
    if (!ms || *ms > 86'400'000) return std::nullopt;
    return ms;
}

std::optional<int> ParseInt(std::string_view text, int low, int high) {
    if (text.empty() || text.size() > 9) return std::nullopt;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value < low || value > high) return std::nullopt;
    return value;
}

std::optional<bool> ParseOnOff(std::string_view text) {
    if (text == "on") return true;
    if (text == "off") return false;
    return std::nullopt;
}

}  // namespace radiosim
