#include "control/frequency_text.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <string_view>

#include "core/cat_error.h"
#include "core/failure_policy.h"

namespace cat {
namespace {

[[noreturn]] void Overflow() { throw CatError(errors::kOverflow, "Overflow"); }

// Truncation toward zero into a 16-bit integer. NaN and infinities fail the range test too.
std::int16_t Fix(double x) {
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

// A digit character stands for iq[digit]; anything else is written as it is.
constexpr std::string_view kLayoutHundreds = "012.456.8";  // 144.300.0: the 10 Hz digit is dropped
constexpr std::string_view kLayoutUnits = " 2.456.89";     // " 7.074.00": aligned with two digits
constexpr std::string_view kLayoutTens = "12.456.89";      // 14.074.00

bool IsDigitPlace(char c) { return c >= '0' && c <= '9'; }

}  // namespace

void Decompose(double Qrg, std::span<std::int16_t> iq) {
    if (iq.size() < 10) throw CatError(errors::kIndexOutOfRange, "Subscript out of range");

    // Each constant lifts its digit's input by the equivalent of 1 Hz, which absorbs the binary
    // rounding of a decimal frequency. The hundreds digit gets 1 Hz too: a lift of 10 Hz would
    // turn 199.99999 MHz into 200.
    double Q = Qrg;
    iq[0] = Fix(Q / 100 + 0.00000001);
    if (Q >= 100) Q = Q - iq[0] * 100.0;
    iq[1] = Fix(Q / 10 + 0.0000001);
    iq[2] = Fix(Q - iq[1] * 10.0 + 0.000001);
    Q = Q * 1000 - iq[1] * 10000.0 - iq[2] * 1000.0;  // what is below 1 MHz, in kHz
    iq[3] = 10;
    iq[4] = Fix(Q / 100 + 0.00001);
    iq[5] = Fix((Q - iq[4] * 100.0) / 10 + 0.0001);
    iq[6] = Fix(Q - iq[4] * 100.0 - iq[5] * 10.0 + 0.001);
    Q = Q * 100 - iq[4] * 10000.0 - iq[5] * 1000.0 - iq[6] * 100.0;  // below 1 kHz, in 10 Hz
    iq[7] = 10;
    iq[8] = Fix(Q / 10 + 0.01);
    iq[9] = Fix(Q - iq[8] * 10.0 + 0.1);
}

void EcriF(const SessionState& state, double f, std::string& strF) {
    // Failure style: abandon, leaving strF exactly as it was.
    SkipOnFailure([&] {
        if (!(f >= 0)) return;

        std::array<std::int16_t, 13> iq{};
        Decompose(f, iq);
        const std::string_view layout = f >= 100     ? kLayoutHundreds
                                        : iq[1] == 0 ? kLayoutUnits
                                                     : kLayoutTens;

        // Every table index is checked before any text is built, so a bad digit (1000 MHz and
        // above, say) leaves the box showing what it showed.
        std::array<std::int16_t, 9> index{};
        for (std::size_t p = 0; p < layout.size(); ++p) {
            if (!IsDigitPlace(layout[p])) continue;
            index[p] = To16(iq[layout[p] - '0'] + 1);
            if (index[p] < 0 || index[p] >= static_cast<int>(state.DigitChars.size()))
                throw CatError(errors::kIndexOutOfRange, "Subscript out of range");
        }

        std::string text(layout);
        for (std::size_t p = 0; p < layout.size(); ++p)
            if (IsDigitPlace(layout[p])) text[p] = state.DigitChars[index[p]];
        strF = std::move(text);
    });
}

std::array<std::int16_t, 4> FrequencyBytes(double a) {
    std::array<std::int16_t, 13> iq{};
    Decompose(a, iq);
    const bool hundreds = a >= 100;

    const auto pack = [](std::int16_t high, std::int16_t low) {
        return To16(To16(high * 16) + low);
    };
    const std::array<std::int16_t, 4> bytes{
        hundreds ? pack(iq[0], iq[1]) : iq[1],
        pack(iq[2], iq[4]),
        pack(iq[5], iq[6]),
        pack(iq[8], iq[9]),
    };

    for (int place : {0, 1, 2, 4, 5, 6, 8, 9}) {
        if (place == 0 && !hundreds) continue;
        if (iq[place] < 0 || iq[place] > 9)
            throw CatError(errors::kOverflow, "Frequency outside 0 to 999.99999 MHz");
    }
    return bytes;
}

std::string SFreq(double Freq) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text = "00";
    for (const std::int16_t b : FrequencyBytes(std::fabs(Freq))) {
        text.push_back(kHex[b >> 4]);
        text.push_back(kHex[b & 15]);
    }
    text.push_back('0');  // the 1 Hz digit: everything here is on the 10 Hz grid
    return text;
}

}  // namespace cat
