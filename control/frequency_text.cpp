#include "control/frequency_text.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <string_view>

#include "core/cat_error.h"
#include "core/failure_policy.h"

namespace cat {
namespace {

[[noreturn]] void Overflow() { throw CatError(ErrorKind::Overflow, "Overflow"); }

// Truncation toward zero into a 16-bit integer. NaN and infinities fail the range test too.
std::int16_t TruncateTo16(double x) {
    const double t = std::trunc(x);
    if (!(t >= std::numeric_limits<std::int16_t>::min() &&
          t <= std::numeric_limits<std::int16_t>::max()))
        Overflow();
    return static_cast<std::int16_t>(t);
}

std::int16_t To16(int value) {
    if (value < std::numeric_limits<std::int16_t>::min() ||
        value > std::numeric_limits<std::int16_t>::max())
        Overflow();
    return static_cast<std::int16_t>(value);
}

// A digit character stands for digits[digit]; anything else is written as it is.
constexpr std::string_view kLayoutHundreds = "012.456.8";  // 144.300.0: the 10 Hz digit is dropped
constexpr std::string_view kLayoutUnits = " 2.456.89";     // " 7.074.00": aligned with two digits
constexpr std::string_view kLayoutTens = "12.456.89";      // 14.074.00

bool IsDigitPlace(char c) { return c >= '0' && c <= '9'; }

}  // namespace

void DisplayDigits(double megahertz, std::span<std::int16_t> digits) {
    if (digits.size() < 10) throw CatError(ErrorKind::IndexOutOfRange, "Subscript out of range");

    // Each constant lifts its digit's input by the equivalent of 1 Hz, which absorbs the binary
    // rounding of a decimal frequency. The hundreds digit gets 1 Hz too: a lift of 10 Hz would
    // turn 199.99999 MHz into 200.
    double rest = megahertz;
    digits[0] = TruncateTo16(rest / 100 + 0.00000001);
    if (rest >= 100) rest = rest - digits[0] * 100.0;
    digits[1] = TruncateTo16(rest / 10 + 0.0000001);
    digits[2] = TruncateTo16(rest - digits[1] * 10.0 + 0.000001);
    rest = rest * 1000 - digits[1] * 10000.0 - digits[2] * 1000.0;  // what is below 1 MHz, in kHz
    digits[3] = 10;
    digits[4] = TruncateTo16(rest / 100 + 0.00001);
    digits[5] = TruncateTo16((rest - digits[4] * 100.0) / 10 + 0.0001);
    digits[6] = TruncateTo16(rest - digits[4] * 100.0 - digits[5] * 10.0 + 0.001);
    rest = rest * 100 - digits[4] * 10000.0 - digits[5] * 1000.0 -
           digits[6] * 100.0;  // below 1 kHz, in 10 Hz
    digits[7] = 10;
    digits[8] = TruncateTo16(rest / 10 + 0.01);
    digits[9] = TruncateTo16(rest - digits[8] * 10.0 + 0.1);
}

void FrequencyDisplayText(const SessionState& state, double megahertz, std::string& text) {
    // Failure style: abandon, leaving `text` exactly as it was.
    SkipOnFailure([&] {
        if (!(megahertz >= 0)) return;

        std::array<std::int16_t, 13> digits{};
        DisplayDigits(megahertz, digits);
        const std::string_view layout = megahertz >= 100 ? kLayoutHundreds
                                        : digits[1] == 0 ? kLayoutUnits
                                                         : kLayoutTens;

        // Every table index is checked before any text is built, so a bad digit (1000 MHz and
        // above, say) leaves the box showing what it showed.
        std::array<std::int16_t, 9> index{};
        for (std::size_t p = 0; p < layout.size(); ++p) {
            if (!IsDigitPlace(layout[p])) continue;
            index[p] = To16(digits[layout[p] - '0'] + 1);
            if (index[p] < 0 || index[p] >= static_cast<int>(state.DigitChars.size()))
                throw CatError(ErrorKind::IndexOutOfRange, "Subscript out of range");
        }

        std::string shown(layout);
        for (std::size_t p = 0; p < layout.size(); ++p)
            if (IsDigitPlace(layout[p])) shown[p] = state.DigitChars[index[p]];
        text = std::move(shown);
    });
}

std::array<std::int16_t, 4> FrequencyBytes(double megahertz) {
    std::array<std::int16_t, 13> digits{};
    DisplayDigits(megahertz, digits);
    const bool hundreds = megahertz >= 100;

    const auto pack = [](std::int16_t high, std::int16_t low) {
        return To16(To16(high * 16) + low);
    };
    const std::array<std::int16_t, 4> bytes{
        hundreds ? pack(digits[0], digits[1]) : digits[1],
        pack(digits[2], digits[4]),
        pack(digits[5], digits[6]),
        pack(digits[8], digits[9]),
    };

    for (int place : {0, 1, 2, 4, 5, 6, 8, 9}) {
        if (place == 0 && !hundreds) continue;
        if (digits[place] < 0 || digits[place] > 9)
            throw CatError(ErrorKind::Overflow, "Frequency outside 0 to 999.99999 MHz");
    }
    return bytes;
}

std::string HertzDigits(double megahertz) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text = "00";
    for (const std::int16_t b : FrequencyBytes(std::fabs(megahertz))) {
        text.push_back(kHex[b >> 4]);
        text.push_back(kHex[b & 15]);
    }
    text.push_back('0');  // the 1 Hz digit: everything here is on the 10 Hz grid
    return text;
}

}  // namespace cat
