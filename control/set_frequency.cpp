#include "control/set_frequency.h"

#include <cstdint>

#include "core/failure_policy.h"
#include "protocols/families.h"

namespace cat {

void SetRadioFrequency(SessionState& state, Platform& platform, std::int64_t hertz) {
    if (state.protocol == Protocol::None) return;

    SkipOnFailure([&] { platform.pollTimer.SetEnabled(false); });

    // The family encodes the hertz its own way, and refuses what its command cannot carry (from
    // 1000 MHz up) before it sends anything: the radio never gets a frequency not asked for.
    if (const RadioFamily* protocol = FamilyFor(state.protocol))
        SkipOnFailure([&] { protocol->SetFrequency(state, platform, hertz); });

    SkipOnFailure([&] { platform.pollTimer.SetEnabled(true); });
}

}  // namespace cat
