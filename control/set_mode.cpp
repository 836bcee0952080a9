#include "control/set_mode.h"

#include "protocols/families.h"

namespace cat {

void SetRadioMode(SessionState& state, Platform& platform, ModeIndex mode, bool reversed) {
    if (const RadioFamily* protocol = FamilyFor(state.protocol))
        protocol->SetMode(state, platform, mode, reversed);
}

}  // namespace cat
