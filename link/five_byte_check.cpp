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
    // A family without line speeds is a rig-sharing server's: no serial line, no radio to guard.
    if (family.SilenceBefore() > 0 || family.ScanSpeeds().empty()) return nullptr;
    for (const RadioFamily* other : Families()) {
        if (other->SilenceBefore() <= 0) continue;
        std::vector<int> faster;
        for (const int s : other->ScanSpeeds())
            if (s > speed) faster.push_back(s);
        if (faster.empty()) continue;
        return std::shared_ptr<FiveByteCheck>(
            new FiveByteCheck(*other, std::move(faster), std::move(lineSettings), handshake));
    }
    return nullptr;
}

bool FiveByteCheck::Step(Platform& platform, double now) {
    CommPort& port = platform.port;
    const std::string probe = family_.Probes().front();
    switch (stage_) {
        case Stage::Quiet: {
            // Whatever the line carried before counts as just sent.
            if (!lastSent_) lastSent_ = now;
            if (now - *lastSent_ < family_.SilenceBefore()) return false;
            const int speed = speeds_[next_];
            const bool sent = SkipOnFailure([&] {
                port.SetLineSettings(RequireLineSettings(std::to_string(speed) + ",n,8,2"));
                port.SetHandshake(Handshake::None);
                port.DiscardInput();
                port.Write(probe);
            });
            if (!sent) {
                Finish(platform);
                return true;
            }
            lastSent_ = now;
            listenUntil_ = now + ListenSeconds(speed);
            stage_ = Stage::Listen;
            return false;
        }
        case Stage::Listen: {
            if (now < listenUntil_) return false;
            std::string received;
            SkipOnFailure([&] {
                if (port.BytesWaiting() > 0) received = port.ReadAll();
            });
            // The link's own line between probes: only the probe and its answer use another.
            Restore(platform);
            stage_ = Stage::Quiet;
            if (family_.Identify(probe, received)) {
                // No frame and no checksum: the same question must get the same answer.
                if (!firstAnswer_) {
                    firstAnswer_ = received;
                    return false;
                }
                if (*firstAnswer_ == received) {
                    found_ = &family_;
                    foundSpeed_ = speeds_[next_];
                    Finish(platform);
                    return true;
                }
            }
            firstAnswer_.reset();
            if (++next_ < speeds_.size()) return false;
            Finish(platform);
            return true;
        }
        case Stage::Over:
            return true;
    }
    return true;
}

void FiveByteCheck::Finish(Platform& platform) {
    stage_ = Stage::Over;
    Restore(platform);
}

void FiveByteCheck::Restore(Platform& platform) {
    SkipOnFailure([&] {
        platform.port.SetLineSettings(lineSettings_);
        platform.port.SetHandshake(handshake_);
        platform.port.DiscardInput();
    });
}

}  // namespace cat
