#include "control/set_frequency.h"

#include <array>
#include <cmath>
#include <cstdint>

#include "control/frequency_text.h"
#include "core/failure_policy.h"
#include "protocols/families.h"

namespace cat {

void SetRadioFrequency(SessionState& state, Platform& platform, double megahertz) {
    if (state.ProtocolCode <= 0) return;

    SkipOnFailure([&] { platform.pollTimer.SetEnabled(false); });
    const double magnitude = std::fabs(megahertz);

    // From 1000 MHz up the digits no longer fit the commands: refuse the entry rather than send a
    // frequency the operator did not ask for.
    FrequencyCommand command;
    const bool sendable = SkipOnFailure([&] {
        const std::array<std::int16_t, 4> bytes = FrequencyBytes(magnitude);
        for (std::size_t i = 0; i < bytes.size(); ++i)
            command.bcd[i] = static_cast<std::uint8_t>(bytes[i]);
        command.hertzDigits = HertzDigits(magnitude);
    });

    if (sendable)
        if (const RadioFamily* protocol = FamilyFor(state.ProtocolCode))
            SkipOnFailure([&] { protocol->SetFrequency(state, platform, command); });

    SkipOnFailure([&] { platform.pollTimer.SetEnabled(true); });
}

}  // namespace cat
