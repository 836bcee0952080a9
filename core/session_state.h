#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace cat {

// Protocol codes stored in SessionState::ProtocolCode. Tests on them use the
// inclusive ranges below, so a code inside a family selects that family.
inline constexpr std::int16_t kNoProtocol = 0;
inline constexpr std::int16_t kFT817 = 10;
inline constexpr std::int16_t kKenwood = 100;
inline constexpr std::int16_t kICOM = 200;

inline bool IsFT817(std::int16_t code) { return code == kFT817; }
inline bool IsKenwood(std::int16_t code) { return code >= 100 && code <= 199; }
inline bool IsICOM(std::int16_t code) { return code >= 200 && code <= 299; }

// The window's shared record: one link and one radio at a time, touched only
// on the UI thread. Created zero-filled with the window and never saved.
struct SessionState {
    double CurFreq = 0.0;               // MHz, last reported by the radio
    std::int16_t CurMode = 0;           // ModeIndex: 0 LSB, 1 USB, 2 CW, 3 AM, 4 FM, 5 FSK, 6 PKT
    float LastPoll = 0.0f;              // seconds since local midnight at the end of the last poll
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
};

}  // namespace cat
