#pragma once

// Yaesu's text CAT of the radios of the last fifteen years. Codes are named in yaesu_codes.h.
// Failure style of every routine here: ignore.

#include <cstdint>
#include <optional>
#include <string_view>

#include "core/radio_family.h"

namespace cat {

// The frequency in hertz of a reply's text (without its ";"): FA014074000 (nine digits, eight
// on the FT-450D), or the IF status reply in Yaesu's layout, IF001014074000+000000200000.
std::optional<std::int64_t> YaesuFrequency(std::string_view reply);

// Polls with FA and MD0 at most every 0.25 s; sets with FA and MD0.
const RadioFamily& YaesuFamily();

}  // namespace cat
