#include "core/line_settings.h"

#include <array>
#include <utility>
#include <vector>

#include "core/comm_errors.h"
#include "core/lookup.h"

namespace cat {

namespace {

constexpr std::int32_t kSlowestSpeed = 50;
constexpr std::int32_t kFastestSpeed = 4000000;

constexpr std::array<std::pair<char, Parity>, 5> kParities{{
    {'n', Parity::None},
    {'e', Parity::Even},
    {'o', Parity::Odd},
    {'m', Parity::Mark},
    {'s', Parity::Space},
}};
constexpr std::array<std::pair<std::string_view, int>, 4> kDataBits{{
    {"5", 5},
    {"6", 6},
    {"7", 7},
    {"8", 8},
}};
constexpr std::array<std::pair<std::string_view, StopBits>, 3> kStopBits{{
    {"1", StopBits::One},
    {"1.5", StopBits::OneAndHalf},
    {"2", StopBits::Two},
}};

std::vector<std::string_view> SplitFields(std::string_view text) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        fields.push_back(
            text.substr(start, comma == std::string_view::npos ? comma : comma - start));
        if (comma == std::string_view::npos) return fields;
        start = comma + 1;
    }
}

std::optional<std::int32_t> ParseSpeed(std::string_view text) {
    if (text.empty() || text.size() > 7) return std::nullopt;
    std::int32_t speed = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        speed = speed * 10 + (c - '0');
    }
    if (speed < kSlowestSpeed || speed > kFastestSpeed) return std::nullopt;
    return speed;
}

std::optional<Parity> ParseParity(std::string_view text) {
    if (text.size() != 1) return std::nullopt;
    const char letter = (text[0] >= 'A' && text[0] <= 'Z') ? char(text[0] - 'A' + 'a') : text[0];
    return Lookup(kParities, letter);
}

}  // namespace

std::optional<LineSettings> ParseLineSettings(std::string_view text) {
    const std::vector<std::string_view> fields = SplitFields(text);
    if (fields.size() != 4) return std::nullopt;
    const auto speed = ParseSpeed(fields[0]);
    const auto parity = ParseParity(fields[1]);
    const auto dataBits = Lookup(kDataBits, fields[2]);
    const auto stopBits = Lookup(kStopBits, fields[3]);
    if (!speed || !parity || !dataBits || !stopBits) return std::nullopt;
    return LineSettings{*speed, *parity, *dataBits, *stopBits, std::string(text)};
}

LineSettings LineSettings::TwoStopBits(std::int64_t speed) {
    std::string text = std::to_string(speed) + ",n,8,2";
    if (speed < kSlowestSpeed || speed > kFastestSpeed)
        throw CommError(CommFault::InvalidSettings, {}, text);
    return {static_cast<std::int32_t>(speed), Parity::None, 8, StopBits::Two, std::move(text)};
}

LineSettings RequireLineSettings(std::string_view text) {
    std::optional<LineSettings> line = ParseLineSettings(text);
    if (!line) throw CommError(CommFault::InvalidSettings, {}, text);
    return *std::move(line);
}

}  // namespace cat
