#include "control/set_mode.h"

#include "protocols/families.h"

namespace cat {

void SelectOpMode(SessionState& state, Platform& platform, std::int16_t i, std::int16_t ireverse) {
    if (const RadioFamily* protocol = FamilyFor(state.ProtocolCode))
        protocol->SetMode(state, platform, static_cast<ModeIndex>(i), ireverse == 1);
}

}  // namespace cat
