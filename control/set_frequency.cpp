#include "control/set_frequency.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <exception>
#include <string>

#include "control/frequency_text.h"
#include "protocols/civ/civ.h"
#include "protocols/kenwood/kenwood.h"

namespace cat {
namespace {

// Nothing here is reported to the operator: a step that fails is skipped and the next one runs,
// so the poll timer always comes back on.
template <typename Step>
void SkipOnFailure(Step step) {
    try {
        step();
    } catch (const std::exception&) {
    }
}

// CI-V carries the frequency least significant byte first: "00014074000" -> "0040071400".
std::string CivFrequencyData(const std::string& s) {
    std::string D;
    for (std::size_t i = 0; i < 5; ++i) D += s.substr(s.size() - 2 - 2 * i, 2);
    return D;
}

}  // namespace

void SetRXFrequency(SessionState& state, Platform& platform, double frequency) {
    if (state.ProtocolCode <= 0) return;

    SkipOnFailure([&] { platform.Timer1.SetEnabled(false); });
    const double a = std::fabs(frequency);

    // From 1000 MHz up the digits no longer fit the commands: refuse the entry rather than send a
    // frequency the operator did not ask for.
    std::array<std::int16_t, 4> B{};
    bool sendable = false;
    SkipOnFailure([&] {
        B = FrequencyBytes(a);
        sendable = true;
    });

    if (sendable) {
        if (IsKenwood(state.ProtocolCode)) {
            SkipOnFailure([&] { ComKenwood(state, platform, "FA" + SFreq(a), 0); });
        } else if (IsICOM(state.ProtocolCode)) {
            std::string D;
            SkipOnFailure([&] { D = CivFrequencyData(SFreq(a)); });
            SkipOnFailure([&] { ComICOM(state, platform, "05", "", D); });
        } else if (IsFT817(state.ProtocolCode)) {
            std::string command;
            for (const std::int16_t b : B) command.push_back(static_cast<char>(b));
            command.push_back(0x01);  // set-frequency opcode
            SkipOnFailure([&] { platform.comCAT.Output(command); });
        }
    }

    SkipOnFailure([&] { platform.Timer1.SetEnabled(true); });
}

}  // namespace cat
