#include "core/stored_values.h"

#include <cmath>
#include <limits>

namespace cat {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

double NumericValue(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;

    // Decimal digits and a sign are parsed by hand: wire and stored texts must never depend on
    // the process locale.
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    std::string digits;  // mantissa digits, without the point
    int pointShift = 0;
    bool any = false;
    while (i < text.size() && IsDigit(text[i])) {
        digits.push_back(text[i++]);
        any = true;
    }
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && IsDigit(text[i])) {
            digits.push_back(text[i++]);
            --pointShift;
            any = true;
        }
    }
    if (!any) return 0.0;

    long exponent = 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        bool expNegative = false;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) {
            expNegative = text[j] == '-';
            ++j;
        }
        if (j < text.size() && IsDigit(text[j])) {
            while (j < text.size() && IsDigit(text[j])) {
                if (exponent < 100000) exponent = exponent * 10 + (text[j] - '0');
                ++j;
            }
            if (expNegative) exponent = -exponent;
        }
    }

    // Digits are accumulated by hand rather than through strtod, whose decimal point follows
    // the process locale.
    long double mantissa = 0.0L;
    for (char c : digits) mantissa = mantissa * 10.0L + (c - '0');
    long total = exponent + pointShift;
    double value = 0.0;
    if (mantissa == 0.0L || total < -400) {
        value = 0.0;
    } else if (total > 400) {
        value = std::numeric_limits<double>::infinity();
    } else if (total < 0) {
        value = static_cast<double>(mantissa / std::pow(10.0L, static_cast<long double>(-total)));
    } else {
        value = static_cast<double>(mantissa * std::pow(10.0L, static_cast<long double>(total)));
    }
    return negative ? -value : value;
}

std::optional<std::int16_t> RoundToInt16(double value) {
    if (!std::isfinite(value)) return std::nullopt;
    double rounded = std::nearbyint(value);  // default rounding mode: half to even
    if (rounded < -32768.0 || rounded > 32767.0) return std::nullopt;
    return static_cast<std::int16_t>(rounded);
}

std::string GeometryText(long twips) {
    return twips >= 0 ? " " + std::to_string(twips) : std::to_string(twips);
}

}  // namespace cat
