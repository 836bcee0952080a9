#pragma once

// The frequency the operator types next to Set: the display's own text ("14.074.50"), or
// megahertz written the way the operator's region writes numbers ("7,0745" where a comma is the
// decimal point). The one locale-aware conversion of the program; the shell passes the region's
// marks in, so the rule is tested here from tables.

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "control/refusal.h"

namespace cat {

// The set commands carry frequencies below 1000 MHz.
inline constexpr std::int64_t kHighestSetHertz = 1'000'000'000;

// The region's marks, as UTF-8 text: "." and "," in English, "," and "." in German, "," and a
// narrow no-break space in French.
struct NumberMarks {
    std::string decimalPoint;
    std::string groupSeparator;
};

// Hertz, or the words that say why the entry is no frequency a radio here takes. `typed` is the
// entry without its leading and trailing blanks. Megahertz take an optional '+', groups of three
// digits before the decimal point (a plain space where the region's separator is a no-break space)
// and an exponent ("1.4074e1"); a minus sign is refused, since no radio has a negative frequency.
std::variant<std::int64_t, Refusal> HertzFromEntry(std::string_view typed,
                                                   const NumberMarks& marks);

}  // namespace cat
