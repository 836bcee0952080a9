#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "core/clock.h"

namespace cat {

// The session's code of the link's radio family; 0 while none is chosen. protocols/ gives each
// family its code and maps it back.
inline constexpr std::int16_t kNoProtocol = 0;

class LineReader;
class FiveByteCheck;  // link/five_byte_check.h

// The window's shared record: one link and one radio at a time, touched only
// on the UI thread. Created zero-filled with the window and never saved.
struct SessionState {
    double CurFreq = 0.0;               // MHz, last reported by the radio
    std::int16_t CurMode = 0;           // ModeIndex: 0 LSB, 1 USB, 2 CW, 3 AM, 4 FM, 5 FSK, 6 PKT
    std::optional<Seconds> LastPoll;    // the end of the last poll; nothing: poll at once
    bool Busy = false;                  // a poll tick is doing its work
    std::array<char, 11> DigitChars{};  // [d + 1] is the character of digit d
    std::string RadioAddr;
    std::string CtrlAddr;
    std::string Speed;
    std::int16_t ProtocolCode = kNoProtocol;
    std::string StopBits;
    std::string RxBuffer;
    bool KenwoodParsing = false;
    // Set by every decoder that stores a frequency from the radio: until then CurFreq is only the
    // initial 0 and the display stays empty.
    bool RadioReported = false;
    // The radio's last mode report named a mode of the list: until then, and after a report
    // with no mode or a code without a name, the display shows no mode. An ICOM radio answers
    // frequency and mode in separate frames, and the initial 0 would show as LSB meanwhile.
    bool ModeKnown = false;
    // The FT-817's reply has no frame and no checksum: a reading is shown only once two replies
    // in a row agree. The last plausible reply, not shown yet when it differs from the display.
    std::string Ft817Candidate;
    // The family's own reading of the line, kept from pass to pass (what it learnt about the
    // radio's replies); made by the family on first use.
    std::shared_ptr<LineReader> Reader;
    // A radio that frames by count is looked for before the link's own first bytes; made when
    // the link opens, when it needs one.
    std::shared_ptr<FiveByteCheck> Check;
};

}  // namespace cat
