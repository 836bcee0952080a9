#pragma once

// The session's codes of the families. Tests on them use inclusive ranges, so a code inside a
// family's range selects that family. Only protocols/ looks at them: everyone else asks the
// family object.

#include <cstdint>

namespace cat {

inline constexpr std::int16_t kFT817 = 10;
inline constexpr std::int16_t kKenwood = 100;
inline constexpr std::int16_t kICOM = 200;
inline constexpr std::int16_t kYaesu = 300;

inline bool IsFT817(std::int16_t code) { return code == kFT817; }
inline bool IsKenwood(std::int16_t code) { return code >= 100 && code <= 199; }
inline bool IsICOM(std::int16_t code) { return code >= 200 && code <= 299; }
inline bool IsYaesu(std::int16_t code) { return code >= 300 && code <= 399; }

}  // namespace cat
