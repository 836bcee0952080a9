// HexByteValue on any text must give a byte value.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "protocols/civ/civ.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::int16_t value = cat::HexByteValue(text);
    if (value < 0 || value > 255) std::abort();
    return 0;
}
