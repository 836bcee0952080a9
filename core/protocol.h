#pragma once

#include <cstdint>

namespace cat {

// The CAT language a link speaks. The protocol list's positions and its captions are mapped to it
// in protocols/families.h, and only there. The order breaks ties where the doctor counts replies
// per protocol; it is not the list's order.
// Rigctld and Flrig are rig-sharing servers' languages: the port entry chooses them, never the
// list (their families' records say so).
enum class Protocol : std::uint8_t { None, Ft817, Kenwood, Icom, Yaesu, Rigctld, Flrig };

}  // namespace cat
