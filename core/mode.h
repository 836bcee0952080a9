#pragma once

// The operating modes as the whole program counts them: the session's mode, the
// position in the mode list, and the key of the display suffix. Each protocol decodes its radio's
// own mode code into it and encodes it back (the tables live in protocols/).

#include <array>
#include <cstdint>
#include <string_view>

namespace cat {

enum class ModeIndex : std::int16_t { LSB = 0, USB = 1, CW = 2, AM = 3, FM = 4, FSK = 5, PKT = 6 };

// The mode list's entries, in ModeIndex order.
inline constexpr std::array<std::string_view, 7> kModeNames = {"LSB", "USB", "CW", "AM",
                                                               "FM",  "FSK", "PKT"};

inline constexpr std::int16_t ToInt(ModeIndex mode) { return static_cast<std::int16_t>(mode); }

// "USB" for ModeIndex::USB; empty for a number the list has no entry at.
inline constexpr std::string_view ModeName(ModeIndex mode) {
    const auto at = static_cast<std::size_t>(mode);
    return at < kModeNames.size() ? kModeNames[at] : std::string_view();
}

}  // namespace cat
