#include "protocols/protocols.h"

#include "protocols/civ/civ.h"
#include "protocols/ft817/ft817.h"
#include "protocols/kenwood/kenwood.h"

namespace cat {

const RadioProtocol* ProtocolFor(std::int16_t ProtocolCode) {
    if (IsFT817(ProtocolCode)) return &Ft817Protocol();
    if (IsKenwood(ProtocolCode)) return &KenwoodProtocol();
    if (IsICOM(ProtocolCode)) return &CivProtocol();
    return nullptr;
}

}  // namespace cat
