#include "link/five_byte_check.h"

#include <algorithm>

#include "core/failure_policy.h"
#include "protocols/families.h"

namespace cat {

namespace {

// Line time of the read and of its reply, and a margin for the radio to think and for a busy
// machine to hand the answer over: a radio missed here gets the link's own bytes next.
double ListenSeconds(int speed) { return std::max(10.0 * 11 / speed + 0.12, 0.3); }

}  // namespace

std::shared_ptr<FiveByteCheck> FiveByteCheck::For(const RadioFamily& family, int speed,
                                                  LineSettings lineSettings, Handshake handshake) {
    // A rig-sharing server has no serial line here, and no radio to guard.
    const FamilyRecord& record = family.Record();
    if (record.countsInFives || record.server) return nullptr;
    for (const RadioFamily* other : Families()) {
        if (!other->Record().countsInFives) continue;
        std::vector<int> faster;
        for (const int s : other->Record().lineSpeeds)
            if (s > speed) faster.push_back(s);
        if (faster.empty()) continue;
        auto check = std::shared_ptr<FiveByteCheck>(
            new FiveByteCheck(*other, std::move(faster), std::move(lineSettings), handshake));
        check->bufferClear_ = family.BufferClear();
        return check;
    }
    return nullptr;
}

bool FiveByteCheck::Step(Platform& platform, double now) {
    switch (stage_) {
        case Stage::Quiet:
            return Probe(platform, now);
        case Stage::Listen:
            return Listen(platform, now);
        case Stage::Clear:
            return AwaitClear(platform, now);
        case Stage::Over:
            return true;
    }
    return true;
}

double FiveByteCheck::NextStepAt(double now) const {
    constexpr double kAnswerLookSeconds = 0.01;
    switch (stage_) {
        case Stage::Quiet:
            return lastSent_ ? *lastSent_ + family_.Record().silenceBefore : now;
        case Stage::Listen:
            return listenUntil_;
        case Stage::Clear:
            return std::min(listenUntil_, now + kAnswerLookSeconds);
        case Stage::Over:
            break;
    }
    return now;
}

bool FiveByteCheck::Probe(Platform& platform, double now) {
    CommPort& port = platform.port;
    // Whatever the line carried before counts as just sent.
    if (!lastSent_) lastSent_ = now;
    if (now - *lastSent_ < family_.Record().silenceBefore) return false;
    const int speed = speeds_[next_];
    const bool sent = SkipOnFailure([&] {
        port.SetLineSettings(LineSettings::TwoStopBits(speed));
        port.SetHandshake(Handshake::None);
        port.DiscardInput();
        port.Write(family_.Record().identityReads.front());
    });
    if (!sent) {
        // A port that takes no bytes takes no clearing ";" either.
        stage_ = Stage::Over;
        Restore(platform);
        return true;
    }
    lastSent_ = now;
    listenUntil_ = now + ListenSeconds(speed);
    stage_ = Stage::Listen;
    return false;
}

bool FiveByteCheck::Listen(Platform& platform, double now) {
    if (now < listenUntil_) return false;
    CommPort& port = platform.port;
    std::string received;
    SkipOnFailure([&] {
        if (port.BytesWaiting() > 0) received = port.ReadAll();
    });
    // The link's own line between probes: only the probe and its answer use another.
    Restore(platform);
    stage_ = Stage::Quiet;
    if (family_.Identify(family_.Record().identityReads.front(), received)) {
        // No frame and no checksum: the same question must get the same answer.
        if (!firstAnswer_) {
            firstAnswer_ = received;
            return false;
        }
        if (*firstAnswer_ == received) {
            found_ = &family_;
            foundSpeed_ = speeds_[next_];
            stage_ = Stage::Over;
            return true;
        }
    }
    firstAnswer_.reset();
    if (++next_ < speeds_.size()) return false;
    return Finish(platform, now);
}

// No five-byte radio: the link's radio may still hold the probes' bytes in its buffer, and is
// given what empties it before the link's first command.
bool FiveByteCheck::Finish(Platform& platform, double now) {
    stage_ = Stage::Over;
    if (bufferClear_.empty()) return true;
    if (!SkipOnFailure([&] { platform.port.Write(std::string(bufferClear_)); })) return true;
    stage_ = Stage::Clear;
    listenUntil_ = now + ListenSeconds(lineSettings_.speed);
    return false;
}

// The radio's answer to the clearing bytes ("?;") is no answer to the link's first read: it is
// awaited and dropped. Its last byte ends it; a radio that stays silent is waited for no longer
// than a probe's answer.
bool FiveByteCheck::AwaitClear(Platform& platform, double now) {
    CommPort& port = platform.port;
    SkipOnFailure([&] {
        if (port.BytesWaiting() > 0) clearAnswer_ += port.ReadAll();
    });
    const bool answered = !clearAnswer_.empty() && clearAnswer_.back() == ';';
    if (!answered && now < listenUntil_) return false;
    SkipOnFailure([&] { port.DiscardInput(); });
    stage_ = Stage::Over;
    return true;
}

void FiveByteCheck::Restore(Platform& platform) {
    SkipOnFailure([&] {
        platform.port.SetLineSettings(lineSettings_);
        platform.port.SetHandshake(handshake_);
        platform.port.DiscardInput();
    });
}

}  // namespace cat
