#include "tools/radiosim/line.h"

#include <array>
#include <cstdint>
#include <utility>

namespace radiosim {
namespace {

constexpr std::array<std::pair<speed_t, int>, 8> kSpeeds{{
    {B1200, 1200},
    {B2400, 2400},
    {B4800, 4800},
    {B9600, 9600},
    {B19200, 19200},
    {B38400, 38400},
    {B57600, 57600},
    {B115200, 115200},
}};

constexpr std::array<std::pair<tcflag_t, char>, 4> kDataBits{{
    {CS5, '5'},
    {CS6, '6'},
    {CS7, '7'},
    {CS8, '8'},
}};

// Start bit, eight data bits (least significant first), one stop bit.
constexpr int kBitsPerByte = 10;

}  // namespace

bool IsRadioSpeed(int baud) {
    for (const auto& [code, value] : kSpeeds) {
        if (value == baud) return true;
    }
    return false;
}

int Baud(const termios& settings) {
    const speed_t speed = ::cfgetospeed(&settings);
    for (const auto& [code, value] : kSpeeds) {
        if (code == speed) return value;
    }
    return 0;
}

std::string LineText(const termios& settings) {
    const int baud = Baud(settings);
    std::string text = baud != 0 ? std::to_string(baud) : "other";
    text.push_back(' ');
    for (const auto& [flag, digit] : kDataBits) {
        if ((settings.c_cflag & CSIZE) == flag) text.push_back(digit);
    }
    if ((settings.c_cflag & PARENB) == 0) {
        text.push_back('N');
    } else {
        text.push_back((settings.c_cflag & PARODD) != 0 ? 'O' : 'E');
    }
    text.push_back((settings.c_cflag & CSTOPB) != 0 ? '2' : '1');
    if ((settings.c_cflag & CRTSCTS) != 0) {
        text += " rtscts";
    } else if ((settings.c_iflag & (IXON | IXOFF)) != 0) {
        text += " xonxoff";
    } else {
        text += " none";
    }
    return text;
}

std::string Resample(std::string_view bytes, int sent_baud, int read_baud) {
    if (sent_baud == read_baud || sent_baud <= 0 || read_baud <= 0) return std::string(bytes);
    // Time in ticks of 1 / (2 * sent * read) seconds: a sent bit lasts 2 * read ticks and half a
    // read bit lasts `sent` ticks, both whole numbers, so sampling never rounds.
    const std::int64_t sent_bit = 2LL * read_baud;
    const std::int64_t read_half = sent_baud;
    const std::int64_t end = static_cast<std::int64_t>(bytes.size()) * kBitsPerByte * sent_bit;
    const auto level = [&](std::int64_t tick) -> int {
        if (tick < 0 || tick >= end) return 1;  // idle
        const std::int64_t bit = tick / sent_bit;
        const auto byte = static_cast<std::uint8_t>(bytes[static_cast<std::size_t>(bit / 10)]);
        const int position = static_cast<int>(bit % 10);
        if (position == 0) return 0;  // start bit
        if (position == 9) return 1;  // stop bit
        return (byte >> (position - 1)) & 1;
    };

    std::string out;
    std::int64_t hunt_from = 0;
    while (hunt_from < end) {
        // The next fall from high to low; the line only changes at sent bit boundaries.
        std::int64_t edge = (hunt_from + sent_bit - 1) / sent_bit * sent_bit;
        while (edge < end && !(level(edge - 1) == 1 && level(edge) == 0)) edge += sent_bit;
        if (edge >= end) break;
        // A start bit that is gone by its middle was a glitch: look again after it.
        if (level(edge + read_half) != 0) {
            hunt_from = edge + 1;
            continue;
        }
        int value = 0;
        for (int i = 0; i < 8; ++i) value |= level(edge + (2 * (i + 1) + 1) * read_half) << i;
        out.push_back(static_cast<char>(value));
        // From the middle of the stop bit; a low line there (a framing error) must rise first.
        hunt_from = edge + 19 * read_half;
    }
    return out;
}

}  // namespace radiosim
