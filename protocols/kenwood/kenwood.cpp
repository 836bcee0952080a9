#include "protocols/kenwood/kenwood.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "core/failure_policy.h"
#include "core/lookup.h"
#include "core/stored_values.h"
#include "core/text.h"
#include "protocols/kenwood/kenwood_codes.h"

namespace cat {

namespace {

// The longest run of received text kept waiting for its ";". A stream that never terminates a
// reply (wrong speed, another protocol on the line) would otherwise grow without end.
constexpr std::size_t kBufferLimit = 4096;

// "IF00014250000" + 16 unused + mode digit + 7 unused: 37 characters before the ";".
constexpr std::size_t kIfReplyLength = 37;
constexpr std::size_t kIfFrequencyPos = 2;
constexpr std::size_t kIfFrequencyLength = 11;
constexpr std::size_t kIfModePos = 29;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool AllDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), IsDigit);
}

void ParseReply(SessionState& state, std::string_view reply) {
    if (!IsStatusReply(reply)) return;
    const std::string_view hertz = reply.substr(kIfFrequencyPos, kIfFrequencyLength);
    state.CurFreq = NumericValue(hertz) / 1000000.0;
    state.RadioReported = true;

    // A mode character the list has no name for (0, 8, the letters of newer radios) shows no
    // mode rather than the one before.
    const char digit = reply[kIfModePos];
    std::int16_t mode = -1;
    std::int16_t reverse = 0;
    if (IsDigit(digit)) KenwoodMode(static_cast<std::int16_t>(digit - '0'), mode, reverse);
    state.ModeKnown = mode >= 0;
    if (state.ModeKnown) state.CurMode = mode;
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

constexpr float kPollPeriod = 0.25f;

class Kenwood final : public RadioProtocol {
public:
    std::optional<float> PollPeriod() const override { return kPollPeriod; }

    void Poll(SessionState& state, Platform& platform) const override {
        ComKenwood(state, platform, std::string(kenwood::kReadStatus), 0);
    }

    void Receive(SessionState& state, CommPort& port) const override {
        ReadKenwoodBuffer(state, port, state.RxBuffer, true);
    }

    void SetFrequency(SessionState& state, Platform& platform,
                      const FrequencyCommand& frequency) const override {
        ComKenwood(state, platform, std::string(kenwood::kSetFrequency) + frequency.hertzDigits, 0);
    }

    void SetMode(SessionState& state, Platform& platform, ModeIndex mode,
                 bool reversed) const override {
        if (mode == ModeIndex::PKT) return;
        std::optional<int> k;
        if (reversed) k = Lookup(kenwood::kSentReverseModes, mode);
        // A position the list does not have goes out as the next digit: LSB and USB are 1 and 2.
        if (!k) k = Lookup(kenwood::kSentModes, mode);
        ComKenwood(state, platform,
                   std::string(kenwood::kSetMode) + std::to_string(k.value_or(ToInt(mode) + 1)), 0);
    }
};

}  // namespace

bool IsStatusReply(std::string_view reply) {
    // The radio writes its frequency as eleven digits with leading zeros. Anything else there is
    // a damaged reply (noise, a wrong line speed), not a reading: the whole reply is dropped, as
    // a CI-V frame with a byte that is not packed decimal is.
    return reply.size() == kIfReplyLength && reply.substr(0, 2) == kenwood::kReadStatus &&
           AllDigits(reply.substr(kIfFrequencyPos, kIfFrequencyLength));
}

const RadioProtocol& KenwoodProtocol() {
    static const Kenwood protocol;
    return protocol;
}

std::string ComKenwood(SessionState& state, Platform& platform, const std::string& KC,
                       int /*NByte*/) {
    // Callers may pass the command with or without its ";"; it must not go out twice. Spaces
    // are trimmed only after joining, so a trailing space before an added ";" stays in.
    const std::string_view terminator = Trim(KC).ends_with(';') ? "" : ";";
    const std::string text(Trim(KC + std::string(terminator)));

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
    for (const kenwood::ReceivedMode& row : kenwood::kReceivedModes) {
        if (row.digit == KMode) {
            YMode = ToInt(row.mode);
            Reverse = row.reverse ? 1 : 0;
            return;
        }
    }
}

}  // namespace cat
