#pragma once

#include <cstdint>

#include "core/radio_protocol.h"

namespace cat {

// The protocol a ProtocolCode selects, by its family's range (FT-817 10, Kenwood 100..199, ICOM
// 200..299); nothing for 0 or any other code.
const RadioProtocol* ProtocolFor(std::int16_t ProtocolCode);

}  // namespace cat
