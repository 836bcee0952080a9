#include "protocols/kenwood/kenwood.h"

#include <array>
#include <cmath>
#include <string_view>

#include "core/cat_error.h"
#include "core/stored_values.h"

namespace cat {

namespace {

// The Kenwood routines never stop on a port failure and never tell the operator: a step that
// raises is skipped, whatever it would have produced keeps its previous value, and the routine
// goes on with its next step. A closed port therefore costs nothing but the skipped steps.
template <typename Step>
void SkipOnFailure(Step&& step) {
    try {
        step();
    } catch (const CatError&) {
    }
}

// The longest run of received text kept waiting for its ";". A stream that never terminates a
// reply (wrong speed, another protocol on the line) would otherwise grow without end.
constexpr std::size_t kBufferLimit = 4096;

// "IF00014250000" + 16 unused + mode digit + 7 unused: 37 characters before the ";".
constexpr std::size_t kIfReplyLength = 37;
constexpr std::size_t kIfFrequencyPos = 2;
constexpr std::size_t kIfFrequencyLength = 11;
constexpr std::size_t kIfModePos = 29;

struct ModeDigit {
    std::int16_t digit;
    std::int16_t mode;  // ModeIndex
    std::int16_t reverse;
};

// MD2; / IF...2... is USB. 7 and 9 are the radio's reverse sidebands of CW and FSK.
// 0, 8 and anything else are not listed and leave the mode as it was.
constexpr std::array<ModeDigit, 8> kModeDigits{{
    {1, 0, 0},  // LSB
    {2, 1, 0},  // USB
    {3, 2, 0},  // CW
    {4, 4, 0},  // FM
    {5, 3, 0},  // AM
    {6, 5, 0},  // FSK
    {7, 2, 1},  // CW reverse
    {9, 5, 1},  // FSK reverse
}};

std::string_view TrimSpaces(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

void ParseReply(SessionState& state, std::string_view reply) {
    if (reply.size() != kIfReplyLength || reply.substr(0, 2) != "IF") return;

    // The digits are read leniently, as the radio's texts always have been; a field that reads
    // as no finite number (an exponent far out of range) cannot be a frequency and is skipped.
    const double hertz = NumericValue(reply.substr(kIfFrequencyPos, kIfFrequencyLength));
    if (std::isfinite(hertz)) {
        state.CurFreq = hertz / 1000000.0;
        state.RadioReported = true;
    }

    if (auto digit = RoundToInt16(NumericValue(reply.substr(kIfModePos, 1)))) {
        std::int16_t reverse = 0;
        std::int16_t mode = -1;  // stays -1 for a digit with no mode (0, 8)
        KenwoodMode(*digit, mode, reverse);
        if (mode >= 0) {
            state.CurMode = mode;
            state.ModeReported = true;
        }
    }
}

// Clears the re-entrancy flag however the pass ends.
class ParsingGuard {
public:
    explicit ParsingGuard(bool& flag) : flag_(flag) { flag_ = true; }
    ~ParsingGuard() { flag_ = false; }
    ParsingGuard(const ParsingGuard&) = delete;
    ParsingGuard& operator=(const ParsingGuard&) = delete;

private:
    bool& flag_;
};

}  // namespace

std::string ComKenwood(SessionState& state, Platform& platform, const std::string& KC,
                       int /*NByte*/) {
    // Callers may pass the command with or without its ";"; it must not go out twice. Spaces
    // are trimmed only after joining, so a trailing space before an added ";" stays in.
    const std::string_view terminator = TrimSpaces(KC).ends_with(';') ? "" : ";";
    const std::string text(TrimSpaces(KC + std::string(terminator)));

    SkipOnFailure([&] { platform.comCAT.Output(text); });
    SkipOnFailure([&] { platform.pause.Sleep(5); });
    ReadKenwoodBuffer(state, platform.comCAT, state.RxBuffer, true);
    return {};
}

void ReadKenwoodBuffer(SessionState& state, CommPort& port, std::string& Buffer, bool Read) {
    // A receive notification can arrive while a pass is running (inside a modal box); the inner
    // pass must leave the buffer to the outer one.
    if (state.KenwoodParsing) return;
    ParsingGuard guard(state.KenwoodParsing);

    if (Read) {
        int n = 0;
        SkipOnFailure([&] { n = port.InBufferCount(); });
        if (n > 0) {
            // Input hands back every byte waiting, which can be more than were counted a moment
            // ago or, on a failing port, fewer. All of them are kept: a byte dropped here would
            // cut a reply in two.
            SkipOnFailure([&] { Buffer += port.Input(); });
        }
    }

    // Complete replies are parsed before the size limit is applied, so a burst that arrives
    // in one piece (a busy line, a pass delayed by a modal box) loses none of its replies.
    std::size_t start = 0;
    while (start < Buffer.size()) {
        const std::size_t end = Buffer.find(';', start);
        if (end == std::string::npos) break;
        ParseReply(state, std::string_view(Buffer).substr(start, end - start));
        start = end + 1;
    }
    Buffer.erase(0, start);

    // What is left has no ";" in it; beyond the limit it is noise, not a reply in progress.
    if (Buffer.size() > kBufferLimit) Buffer.clear();
}

void KenwoodMode(std::int16_t KMode, std::int16_t& YMode, std::int16_t& Reverse) {
    Reverse = 0;
    for (const ModeDigit& row : kModeDigits) {
        if (row.digit == KMode) {
            YMode = row.mode;
            Reverse = row.reverse;
            return;
        }
    }
}

}  // namespace cat
