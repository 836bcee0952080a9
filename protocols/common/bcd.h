#pragma once

// Packed decimal, the one codec of every family: two decimal digits a byte, the earlier digit in
// the high half-byte. CI-V sends the least significant byte first (14.074 MHz in hertz is
// 00 40 07 14 00), the FT-817 the most significant first (14.074 MHz in 10 Hz is 01 40 74 00).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace cat::bcd {

enum class Order { LeastSignificantFirst, MostSignificantFirst };

// The number the bytes carry; nothing when a half-byte is above 9 (noise, not a number) or there
// are more digits than fit.
std::optional<std::int64_t> Decode(std::string_view bytes, Order order);

// `value` in `count` bytes; digits beyond them are dropped.
std::string Encode(std::int64_t value, std::size_t count, Order order);

}  // namespace cat::bcd
