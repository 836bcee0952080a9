#include "control/frequency_text.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

#include "core/cat_error.h"
#include "core/failure_policy.h"
#include "core/text.h"

namespace cat {
namespace {

[[noreturn]] void Overflow() { throw CatError(ErrorKind::Overflow, "Overflow"); }

std::int16_t To16(std::int64_t value) {
    if (value < std::numeric_limits<std::int16_t>::min() ||
        value > std::numeric_limits<std::int16_t>::max())
        Overflow();
    return static_cast<std::int16_t>(value);
}

// Steps of 10 Hz. A reading 1 Hz short of a step has always shown as that step (14074009 Hz
// shows 14.074.01), and a set command carries the same digits the display shows.
std::int64_t TensOfHertz(std::int64_t hertz) {
    if (hertz < 0 || hertz == std::numeric_limits<std::int64_t>::max()) Overflow();
    return (hertz + 1) / 10;
}

// A digit character stands for digits[digit]; anything else is written as it is.
constexpr std::string_view kLayoutHundreds = "012.456.8";  // 144.300.0: the 10 Hz digit is dropped
constexpr std::string_view kLayoutUnits = " 2.456.89";     // " 7.074.00": aligned with two digits
constexpr std::string_view kLayoutTens = "12.456.89";      // 14.074.00

bool IsDigitPlace(char c) { return c >= '0' && c <= '9'; }

// The value, in steps of 10 Hz, of each place of DisplayDigits; 0 marks a separator.
constexpr std::array<std::int64_t, 10> kPlaceSteps = {10'000'000, 1'000'000, 100'000, 0,  10'000,
                                                      1'000,      100,       0,       10, 1};

}  // namespace

std::optional<std::int64_t> HertzFromMegahertz(double megahertz) {
    if (!(std::fabs(megahertz) < 1e9)) return std::nullopt;
    return static_cast<std::int64_t>(std::nearbyint(megahertz * 1e6));
}

std::string MegahertzText(std::int64_t hertz) {
    // Whole numbers all the way: a formatted double would take the locale's decimal mark.
    const std::uint64_t magnitude =
        hertz < 0 ? 0 - static_cast<std::uint64_t>(hertz) : static_cast<std::uint64_t>(hertz);
    std::string text = (hertz < 0 ? "-" : "") + std::to_string(magnitude / 1'000'000);
    std::string fraction = std::to_string(magnitude % 1'000'000 + 1'000'000).substr(1);
    while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
    if (!fraction.empty()) text += "." + fraction;
    return text;
}

std::optional<std::int64_t> HertzFromDisplayText(std::string_view text) {
    text = Trim(text, kBlanks);
    text = text.substr(0, text.find(' '));  // the mode, when it came along
    const std::size_t first = text.find('.');
    const std::size_t second = first == std::string_view::npos ? first : text.find('.', first + 1);
    if (second == std::string_view::npos) return std::nullopt;
    const std::string_view megahertz = text.substr(0, first);
    const std::string_view kilohertz = text.substr(first + 1, second - first - 1);
    const std::string_view rest = text.substr(second + 1);
    const auto digits = [](std::string_view part, std::size_t least, std::size_t most) {
        return part.size() >= least && part.size() <= most &&
               std::all_of(part.begin(), part.end(), IsDigitPlace);
    };
    if (!digits(megahertz, 1, 4) || !digits(kilohertz, 3, 3) || !digits(rest, 1, 2))
        return std::nullopt;
    const auto value = [](std::string_view part) {
        std::int64_t v = 0;
        for (char c : part) v = v * 10 + (c - '0');
        return v;
    };
    // Two places below the kilohertz are tens of hertz; one, above 100 MHz, is hundreds.
    return value(megahertz) * 1'000'000 + value(kilohertz) * 1'000 +
           value(rest) * (rest.size() == 2 ? 10 : 100);
}

void DisplayDigits(std::int64_t hertz, std::span<std::int16_t> digits) {
    if (digits.size() < 10) throw CatError(ErrorKind::IndexOutOfRange, "Subscript out of range");
    const std::int64_t tens = TensOfHertz(hertz);
    // The hundreds place takes all that is above it: 1296.1 MHz puts 12 there.
    digits[0] = To16(tens / kPlaceSteps[0]);
    for (std::size_t place = 1; place < kPlaceSteps.size(); ++place)
        digits[place] = kPlaceSteps[place] == 0
                            ? std::int16_t{10}
                            : static_cast<std::int16_t>(tens / kPlaceSteps[place] % 10);
}

void FrequencyDisplayText(const SessionState& state, std::int64_t hertz, std::string& text) {
    // Failure style: abandon, leaving `text` exactly as it was.
    SkipOnFailure([&] {
        if (hertz < 0) return;

        std::array<std::int16_t, 13> digits{};
        DisplayDigits(hertz, digits);
        const std::string_view layout = digits[0] != 0   ? kLayoutHundreds
                                        : digits[1] == 0 ? kLayoutUnits
                                                         : kLayoutTens;

        // Every table index is checked before any text is built, so a bad digit (1000 MHz and
        // above, say) leaves the box showing what it showed.
        std::array<std::int16_t, 9> index{};
        for (std::size_t p = 0; p < layout.size(); ++p) {
            if (!IsDigitPlace(layout[p])) continue;
            index[p] = To16(digits[layout[p] - '0'] + 1);
            if (index[p] < 0 || index[p] >= static_cast<int>(state.digitCharacters.size()))
                throw CatError(ErrorKind::IndexOutOfRange, "Subscript out of range");
        }

        std::string shown(layout);
        for (std::size_t p = 0; p < layout.size(); ++p)
            if (IsDigitPlace(layout[p])) shown[p] = state.digitCharacters[index[p]];
        text = std::move(shown);
    });
}

}  // namespace cat
