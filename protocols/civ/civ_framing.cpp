#include <array>
#include <cstddef>
#include <exception>
#include <string>
#include <string_view>
#include <utility>

#include "core/text.h"
#include "protocols/civ/civ.h"
#include "protocols/civ/civ_codes.h"

namespace cat {

namespace {

// Hexadecimal digit values, either case: 'e' and 'E' are both 14.
constexpr std::array<std::pair<char, int>, 22> kHexDigits{{
    {'0', 0},  {'1', 1},  {'2', 2},  {'3', 3},  {'4', 4},  {'5', 5},  {'6', 6},  {'7', 7},
    {'8', 8},  {'9', 9},  {'A', 10}, {'B', 11}, {'C', 12}, {'D', 13}, {'E', 14}, {'F', 15},
    {'a', 10}, {'b', 11}, {'c', 12}, {'d', 13}, {'e', 14}, {'f', 15},
}};

// A character that is no hexadecimal digit counts as 0: callers hand us text, not checked input.
int DigitValue(char c) {
    for (const auto& [digit, value] : kHexDigits)
        if (digit == c) return value;
    return 0;
}

// Half the text length, ties to even: 13 characters give 6 pairs, 15 give 8.
std::size_t PairCount(std::size_t length) {
    std::size_t half = length / 2;
    if (length % 2 == 1 && half % 2 == 1) ++half;
    return half;
}

// The leading "00" is never sent, and the pair just past the end of an even-length text is
// empty: it converts to the zero byte that follows every frame on the line.
std::string FrameBytes(const std::string& hex) {
    std::string bytes;
    const std::size_t pairs = PairCount(hex.size());
    bytes.reserve(pairs);
    for (std::size_t k = 1; k <= pairs; ++k) {
        const std::size_t at = 2 * k;
        const std::string_view pair =
            at < hex.size() ? std::string_view(hex).substr(at, 2) : std::string_view();
        bytes.push_back(static_cast<char>(static_cast<unsigned char>(HexByteValue(pair))));
    }
    return bytes;
}

}  // namespace

std::int16_t HexByteValue(std::string_view hex) {
    const std::string_view s = Trim(hex);
    if (s.size() == 1) return static_cast<std::int16_t>(DigitValue(s[0]));
    if (s.size() == 2) return static_cast<std::int16_t>(16 * DigitValue(s[0]) + DigitValue(s[1]));
    return 0;
}

namespace {

bool SendFrame(SessionState& state, Platform& platform, std::string_view to,
               std::string_view command, std::string_view subcommand, std::string_view data) {
    // Any failure of the port or of building the frame is reported once and ends the command;
    // the receive pass reports nothing itself, so it cannot bring up this box.
    try {
        if (!platform.port.IsOpen()) return false;

        std::string hex = "00FEFE";
        hex += to;
        hex += state.controllerAddress;
        hex += command;
        hex += subcommand;
        hex += data;
        hex += "FD";

        platform.port.Write(FrameBytes(hex));
        // The reply takes longer than this to arrive at 9600 baud; whatever is already in
        // (an interface's echo, a late reply to the previous command) is parsed now.
        platform.pause.Sleep(5);
        ReceiveCivReplies(state, platform.port);
        return true;
    } catch (const std::exception&) {
        platform.messages.Critical("Com error");
        return false;
    }
}

}  // namespace

bool SendCivCommand(SessionState& state, Platform& platform, std::string_view command,
                    std::string_view subcommand, std::string_view data) {
    return SendFrame(state, platform, Trim(state.radioAddress), command, subcommand, data);
}

bool AskEveryRadioItsAddress(SessionState& state, Platform& platform) {
    return SendFrame(state, platform, civ::kEveryRadio, civ::kReadAddressText, "00", "");
}

}  // namespace cat
