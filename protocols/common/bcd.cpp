#include "protocols/common/bcd.h"

#include <algorithm>

namespace cat::bcd {

std::optional<std::int64_t> Decode(std::string_view bytes, Order order) {
    if (bytes.size() > 9) return std::nullopt;
    const bool reversed = order == Order::LeastSignificantFirst;
    std::int64_t value = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<std::uint8_t>(bytes[reversed ? bytes.size() - 1 - i : i]);
        const int high = byte >> 4;
        const int low = byte & 0x0F;
        if (high > 9 || low > 9) return std::nullopt;
        value = value * 100 + high * 10 + low;
    }
    return value;
}

std::string Encode(std::int64_t value, std::size_t count, Order order) {
    std::string bytes(count, '\0');
    for (std::size_t i = 0; i < count; ++i) {
        const int pair = static_cast<int>(value % 100);
        value /= 100;
        bytes[count - 1 - i] = static_cast<char>(((pair / 10) << 4) | (pair % 10));
    }
    if (order == Order::LeastSignificantFirst) std::reverse(bytes.begin(), bytes.end());
    return bytes;
}

}  // namespace cat::bcd
