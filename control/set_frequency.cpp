#include "control/set_frequency.h"

#include <cstdint>

#include "control/frequency_text.h"
#include "core/failure_policy.h"
#include "protocols/families.h"

namespace cat {

void SetRadioFrequency(SessionState& state, Platform& platform, std::int64_t hertz) {
    if (state.protocol == Protocol::None) return;

    SkipOnFailure([&] { platform.pollTimer.SetEnabled(false); });

    // From 1000 MHz up the digits no longer fit the commands: refuse the entry rather than send a
    // frequency the operator did not ask for.
    FrequencyCommand command;
    const bool sendable = SkipOnFailure([&] {
        command.hertzDigits = HertzDigits(hertz);  // first: it refuses a hertz with no magnitude
        command.bcd = FrequencyBytes(hertz < 0 ? -hertz : hertz);
    });

    if (sendable)
        if (const RadioFamily* protocol = FamilyFor(state.protocol))
            SkipOnFailure([&] { protocol->SetFrequency(state, platform, command); });

    SkipOnFailure([&] { platform.pollTimer.SetEnabled(true); });
}

}  // namespace cat
