#pragma once

// The radio families and the one place that maps the protocol list, the session's code and a
// family to each other. Everything else asks the family it is given.

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "core/radio_family.h"

namespace cat {

// Entries of the protocol list: one per family. A stored list position is checked against it.
inline constexpr std::size_t kProtocolListSize = 4;

// Every family, in the protocol list's order: ICOM, Kenwood, FT-817, Yaesu. A stored list
// position keeps its meaning: new families come after the old ones.
std::span<const RadioFamily* const> Families();

// The family a session code selects (FT-817 10, Kenwood 100..199, ICOM 200..299, Yaesu
// 300..399); nothing for 0 or any other code.
const RadioFamily* FamilyFor(std::int16_t code);

// The family at a position of the protocol list; nothing outside it.
const RadioFamily* FamilyAt(int listPosition);

// The family whose caption is `text`, in any letter case ("kenwood"); nothing otherwise.
const RadioFamily* FamilyNamed(std::string_view text);
// Its code, or kNoProtocol for a text that names no family (an empty list entry).
std::int16_t ProtocolCodeNamed(std::string_view text);

// The list position of a family.
int ListPosition(const RadioFamily& family);

}  // namespace cat
