#pragma once

// The radio families and the one place that maps the protocol list, the protocol and a family to
// each other. Everything else asks the family it is given.

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "core/port_names.h"
#include "core/radio_family.h"

namespace cat {

// Every family, in the protocol list's order: ICOM, Kenwood, FT-817, Yaesu. A stored list
// position keeps its meaning: new families come after the old ones.
std::span<const RadioFamily* const> Families();

// The family that speaks `protocol`, a server's among them; nothing for Protocol::None.
const RadioFamily* FamilyFor(Protocol protocol);

// The family a port of this kind speaks for the radio behind it (rigctld:// speaks rigctld's
// commands); nothing for a port that leaves the protocol to the list. Not in Families(): the scan
// and the doctor's look at other radios never try a server's language on a serial line.
const RadioFamily* ServerFamily(PortKind kind);

// Every rig-sharing server's family, in the registry's order.
std::span<const RadioFamily* const> ServerFamilies();

// A port that reaches the radio through a rig-sharing server: the server sets the radio's line,
// so the program's protocol and speed do not apply.
bool ThroughServer(PortKind kind);
// Whether `protocol` is a rig-sharing server's language, as its family's record says.
bool IsSharingServer(Protocol protocol);

// The family at a position of the protocol list; nothing outside it.
const RadioFamily* FamilyAt(int listPosition);

// The family whose caption is `text`, in any letter case ("kenwood"); nothing otherwise.
const RadioFamily* FamilyNamed(std::string_view text);
// Its protocol, or Protocol::None for a text that names no family (an empty list entry).
Protocol ProtocolNamed(std::string_view text);

// The list position of a family.
int ListPosition(const RadioFamily& family);

}  // namespace cat
