#pragma once

// The operating modes as the whole program counts them: the value of SessionState::CurMode, the
// position in the mode list, and the key of the display suffix. Each protocol decodes its radio's
// own mode code into it and encodes it back (the tables live in protocols/).

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace cat {

enum class ModeIndex : std::int16_t { LSB = 0, USB = 1, CW = 2, AM = 3, FM = 4, FSK = 5, PKT = 6 };

// The mode list's entries, in ModeIndex order.
inline constexpr std::array<std::string_view, 7> kModeNames = {"LSB", "USB", "CW", "AM",
                                                               "FM",  "FSK", "PKT"};

inline constexpr std::int16_t ToInt(ModeIndex mode) { return static_cast<std::int16_t>(mode); }

// " USB" for CurMode 1; nothing for a value that names no mode.
inline std::optional<std::string_view> ModeName(std::int16_t curMode) {
    if (curMode < 0 || curMode >= static_cast<std::int16_t>(kModeNames.size())) return std::nullopt;
    return kModeNames[static_cast<std::size_t>(curMode)];
}

}  // namespace cat
