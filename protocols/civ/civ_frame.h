#pragma once

// The CI-V frame cutter, the one reading of CI-V bytes for the live link, the doctor and the scan:
// fe fe <to> <from> <command> [data] fd, extra fe bytes allowed in front.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace cat::civ {

struct Frame {
    std::uint8_t to = 0;
    std::uint8_t from = 0;
    std::uint8_t command = 0;
    std::string_view data;  // between the command and the fd
};

struct FrameCut {
    std::size_t length = 0;  // bytes taken from the front; 0 while a frame is not whole yet
    std::optional<Frame> frame;
    std::string_view why;  // what the bytes are, when they are no frame
};

// Longer than any frame a radio answers a read with; a run this long without its end is not one.
inline constexpr std::size_t kLongestFrame = 64;

// The first frame or run of other bytes at the front of `bytes`. With `final`, nothing more is
// coming for now: an unfinished frame is taken for the noise it is instead of waited for.
FrameCut CutFrame(std::string_view bytes, bool final);

// The radio a reply comes from: its source address, or, for the address read answered with the
// broadcast 00 as source, the address its data carries. Nothing when the frame names no radio.
std::optional<int> RadioOf(const Frame& frame);

// A frame a radio would send a controller unasked or in answer to our reads: from an address a
// radio may have (01 to DF), with a command we read (frequency, mode, address, OK, NG) and a
// length that command has. Line noise seldom passes all of it: an FE FE ... FD run from a random
// address with a random command is not a radio.
bool LooksLikeAReply(const Frame& frame);

// "IC-7300", "IC-705 or Xiegu X6100", empty for an address no common radio has.
std::string ModelsAt(int address);

// "read frequency", or "command 1B" for one without a name.
std::string CommandName(std::uint8_t command);

// A frame we send, named by its command and, where they tell what it does, its data: 1C 00 reads
// the transmit state, 1C 00 01 keys the transmitter.
std::string FrameName(const Frame& frame);

}  // namespace cat::civ
