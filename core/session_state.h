#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "core/clock.h"
#include "core/mode.h"
#include "core/protocol.h"

namespace cat {

class LineReader;
class FiveByteCheck;  // link/five_byte_check.h

// The window's shared record: one link and one radio at a time, touched only
// on the UI thread. Created zero-filled with the window and never saved.
struct SessionState {
    // The radio's last reported frequency; nothing until it has reported one, so the display
    // stays empty rather than show a frequency no radio sent.
    std::optional<std::int64_t> frequencyHz;
    // How many frequency readings the radios have sent, over every link: a link counts its own
    // from its open.
    std::uint32_t readings = 0;
    // The mode of the radio's last mode report; nothing until then, and after a report with no
    // mode or a code without a name. An ICOM radio answers frequency and mode in separate
    // frames, and a default mode would show as LSB meanwhile.
    std::optional<ModeIndex> mode;
    // Whether the radio transmits, as its last reply that says so put it; nothing until one did.
    std::optional<bool> transmitting;
    std::optional<Seconds> lastPoll;         // the end of the last poll; nothing: poll at once
    bool busy = false;                       // a poll tick is doing its work
    std::array<char, 11> digitCharacters{};  // [d + 1] is the character of digit d
    std::string radioAddress;
    std::string controllerAddress;
    std::string speed;
    Protocol protocol = Protocol::None;
    std::string stopBits;
    // Bytes from the radio not yet cut into whole replies (the CI-V and the text families).
    std::string received;
    // A text family's receive pass is running: one that starts inside it (from a modal box)
    // leaves the buffer to it.
    bool parsingReplies = false;
    // The FT-817's reply has no frame and no checksum: a reading is shown only once two replies
    // in a row agree. The last plausible reply, not shown yet when it differs from the display.
    std::string unconfirmedReading;
    // The family's own reading of the line, kept from pass to pass (what it learnt about the
    // radio's replies); made by the family on first use.
    std::shared_ptr<LineReader> reader;
    // A radio that frames by count is looked for before the link's own first bytes; made when
    // the link opens, when it needs one.
    std::shared_ptr<FiveByteCheck> fiveByteCheck;
};

}  // namespace cat
