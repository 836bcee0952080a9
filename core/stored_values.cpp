#include "core/stored_values.h"

#include <cmath>
#include <limits>

namespace cat {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Decimal digits, signs and exponents are read by hand: wire and stored texts must never depend
// on the process locale, whose decimal point strtod follows.
class NumberReader {
public:
    explicit NumberReader(std::string_view text) : text_(text) {}

    void SkipBlanks() {
        while (More() && IsBlank(text_[at_])) ++at_;
    }

    // True for '-'; an absent sign is '+'.
    bool Sign() {
        if (!More() || (text_[at_] != '+' && text_[at_] != '-')) return false;
        return text_[at_++] == '-';
    }

    // Digits with an optional point: the mantissa's digits without the point, and how many of
    // them stand after it. Empty when there are none.
    std::string Mantissa(int& pointShift) {
        std::string digits;
        while (More() && IsDigit(text_[at_])) digits.push_back(text_[at_++]);
        if (More() && text_[at_] == '.') {
            ++at_;
            while (More() && IsDigit(text_[at_])) {
                digits.push_back(text_[at_++]);
                --pointShift;
            }
        }
        return digits;
    }

    // "e12", "E-3": 0 when no digit follows the letter (then the letter is no exponent).
    // Capped far beyond any double's range, so a long run of digits cannot overflow.
    long Exponent() {
        if (!More() || (text_[at_] != 'e' && text_[at_] != 'E')) return 0;
        std::size_t j = at_ + 1;
        bool negative = false;
        if (j < text_.size() && (text_[j] == '+' || text_[j] == '-')) negative = text_[j++] == '-';
        long exponent = 0;
        for (; j < text_.size() && IsDigit(text_[j]); ++j)
            if (exponent < 100000) exponent = exponent * 10 + (text_[j] - '0');
        return negative ? -exponent : exponent;
    }

private:
    bool More() const { return at_ < text_.size(); }

    std::string_view text_;
    std::size_t at_ = 0;
};

// digits x 10^power, with 0 and infinity beyond what a double holds.
double Scaled(const std::string& digits, long power) {
    long double mantissa = 0.0L;
    for (char c : digits) mantissa = mantissa * 10.0L + (c - '0');
    if (mantissa == 0.0L || power < -400) return 0.0;
    if (power > 400) return std::numeric_limits<double>::infinity();
    if (power < 0)
        return static_cast<double>(mantissa / std::pow(10.0L, static_cast<long double>(-power)));
    return static_cast<double>(mantissa * std::pow(10.0L, static_cast<long double>(power)));
}

}  // namespace

double NumericValue(std::string_view text) {
    NumberReader reader(text);
    reader.SkipBlanks();
    const bool negative = reader.Sign();
    int pointShift = 0;
    const std::string digits = reader.Mantissa(pointShift);
    if (digits.empty()) return 0.0;
    const double value = Scaled(digits, reader.Exponent() + pointShift);
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
