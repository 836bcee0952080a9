#include "control/set_mode.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <utility>

#include "protocols/civ/civ.h"
#include "protocols/kenwood/kenwood.h"

namespace cat {
namespace {

using Code = std::pair<std::int16_t, std::int16_t>;  // ModeIndex, the radio's code

constexpr std::int16_t kPkt = 6;

// P1 of opcode 07: "AM" goes out as 04 00 00 00 07. "FSK" and "PKT" send 0A and 0C, the codes the
// radio reports back for them; 08 would switch FSK to FM, and 0A would make PKT a second FSK.
constexpr std::array kFt817Codes{Code{0, 0x00}, Code{1, 0x01}, Code{2, 0x02}, Code{3, 0x04},
                                 Code{4, 0x08}, Code{5, 0x0A}, Code{6, 0x0C}};
constexpr std::array kFt817Reverse{Code{2, 0x03}};  // CW reverse: 03 00 00 00 07

// The digit after "MD": "AM" goes out as MD5;. PKT has no digit and is never sent.
constexpr std::array kKenwoodCodes{Code{0, 1}, Code{1, 2}, Code{2, 3},
                                   Code{3, 5}, Code{4, 4}, Code{5, 6}};
constexpr std::array kKenwoodReverse{Code{2, 7}, Code{5, 9}};  // MD7; and MD9;

// The mode number in the data of CI-V command 06: "FM" is fe fe 5e e0 06 05 fd 00. PKT has none.
constexpr std::array kCivCodes{Code{0, 0}, Code{1, 1}, Code{2, 3},
                               Code{3, 2}, Code{4, 5}, Code{5, 4}};
constexpr std::array kCivReverse{Code{2, 7}, Code{5, 8}};

template <typename Table>
std::optional<std::int16_t> Find(const Table& table, std::int16_t i) {
    const auto it =
        std::find_if(table.begin(), table.end(), [i](const auto& row) { return row.first == i; });
    if (it == table.end()) return std::nullopt;
    return it->second;
}

// Positions the list does not have keep the plain code (the list position, or one more on
// Kenwood, whose LSB and USB digits are 1 and 2).
template <typename Table, typename Reverse>
std::int16_t ModeCode(const Table& table, const Reverse& reverse, std::int16_t i,
                      std::int16_t plain, bool reversed) {
    if (reversed)
        if (const auto code = Find(reverse, i)) return *code;
    return Find(table, i).value_or(plain);
}

}  // namespace

void SelectOpMode(SessionState& state, Platform& platform, std::int16_t i, std::int16_t ireverse) {
    const bool reversed = ireverse == 1;
    const std::int16_t protocol = state.ProtocolCode;

    if (IsFT817(protocol)) {
        const std::int16_t k = ModeCode(kFt817Codes, kFt817Reverse, i, i, reversed);
        if (k < 0 || k > 255) return;  // no byte to send
        const std::string command{static_cast<char>(k), 0, 0, 0, 0x07};
        try {
            platform.comCAT.Output(command);
        } catch (const std::exception&) {
            // A closed port: the radio keeps its mode and the operator sees no message.
        }
    } else if (IsKenwood(protocol)) {
        if (i == kPkt) return;
        const std::int16_t k =
            ModeCode(kKenwoodCodes, kKenwoodReverse, i, static_cast<std::int16_t>(i + 1), reversed);
        ComKenwood(state, platform, "MD" + std::to_string(k), 0);
    } else if (IsICOM(protocol)) {
        if (i == kPkt) return;
        const std::int16_t k = ModeCode(kCivCodes, kCivReverse, i, i, reversed);
        ComICOM(state, platform, "06", "", "0" + std::to_string(k));
    }
}

}  // namespace cat
