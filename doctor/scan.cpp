#include "doctor/scan.h"

#include <algorithm>
#include <cstdio>

#include "core/cat_error.h"
#include "core/failure_policy.h"
#include "protocols/families.h"

namespace cat::doctor {

namespace {

struct Setting {
    const RadioFamily* family;
    int speed;
};

// Line time of n bytes at 8 data bits, 2 stop bits and a start bit.
double LineSeconds(std::size_t bytes, int speed) { return static_cast<double>(bytes) * 11 / speed; }

// What we send, the longest reply, and a margin for the radio to think.
double ListenSeconds(std::size_t sent, int speed) { return LineSeconds(sent + 16, speed) + 0.12; }

bool FramesByCount(const RadioFamily& family) { return family.Record().countsInFives; }

constexpr double kFiveByteListen = 0.3;

std::string Head(double now, const Probe& probe, const char* direction) {
    std::string names;
    for (const RadioFamily* f : probe.families)
        names += (names.empty() ? "" : "/") + std::string(f->Name());
    char head[96];
    std::snprintf(head, sizeof head, "%8.3f %s at %d baud %s ", now, names.c_str(), probe.speed,
                  direction);
    return head;
}

Found Make(const RadioFamily& family, int speed, const Identity& identity) {
    Found found;
    found.protocol = family.Id();
    found.speed = speed;
    found.address = identity.address;
    found.model = identity.model;
    found.described = family.Describe(identity);
    found.everyAddress = identity.everyAddress;
    return found;
}

// What came back for a probe, as the log shows it: a line that floods the port shows the start of
// what came and how much there was in all.
std::string ShownReceived(const RadioFamily& family, std::string_view received) {
    constexpr std::size_t kShownBytes = 64;
    if (received.empty()) return "nothing";
    std::string shown = family.ShowBytes(received.substr(0, kShownBytes));
    if (received.size() > kShownBytes)
        shown += "... (" + std::to_string(received.size()) + " bytes in all)";
    return shown;
}

}  // namespace

std::string Describe(const Found& found) {
    return found.described + " answers at " + std::to_string(found.speed) + " baud";
}

std::vector<Probe> ScanPlan(std::span<const int> speeds, Protocol chosenProtocol, int chosenSpeed) {
    std::vector<Setting> order;
    auto take = [&](const RadioFamily* family, int speed) {
        const bool listed = std::find(speeds.begin(), speeds.end(), speed) != speeds.end();
        const bool twice = std::any_of(order.begin(), order.end(), [&](const Setting& o) {
            return o.family == family && o.speed == speed;
        });
        // A rig-sharing server is reached by its address, never found.
        if (family && listed && !twice && !family->Record().server)
            order.push_back({family, speed});
    };
    const auto families = Families();
    for (const RadioFamily* f : families)
        if (FramesByCount(*f))
            for (const int speed : f->Record().lineSpeeds) take(f, speed);
    if (const RadioFamily* chosen = FamilyFor(chosenProtocol); chosen && !FramesByCount(*chosen))
        take(chosen, chosenSpeed);
    // Each family's usual speeds in turn: every family's factory speed before anyone's second.
    for (std::size_t round = 0; round < speeds.size(); ++round)
        for (const RadioFamily* f : families)
            if (!FramesByCount(*f) && round < f->Record().lineSpeeds.size())
                take(f, f->Record().lineSpeeds[round]);
    for (const int speed : speeds)
        for (const RadioFamily* f : families)
            if (!FramesByCount(*f)) take(f, speed);

    // The shortest read of every setting first; one read that several families answer alike is
    // sent once, where they want the same line.
    std::vector<Probe> plan;
    auto add = [&](const Setting& s, const std::string& bytes) {
        const bool flow = s.family->FlowControl(s.speed);
        for (Probe& p : plan) {
            if (p.speed == s.speed && p.bytes == bytes && p.flowControl == flow) {
                p.families.push_back(s.family);
                return;
            }
        }
        // A radio that frames by count is listened to longer: missed, it would hear every other
        // family's probes next, and a busy machine may hand its answer over late.
        const double listen = FramesByCount(*s.family)
                                  ? std::max(ListenSeconds(bytes.size(), s.speed), kFiveByteListen)
                                  : ListenSeconds(bytes.size(), s.speed);
        plan.push_back(
            {{s.family}, s.speed, flow, bytes, s.family->Record().silenceBefore, listen});
    };
    for (const Setting& s : order) add(s, s.family->Record().identityReads.front());
    for (const Setting& s : order) {
        const std::vector<std::string>& probes = s.family->Record().identityReads;
        for (std::size_t i = 1; i < probes.size(); ++i) add(s, probes[i]);
    }
    return plan;
}

std::optional<Found> Judge(const Probe& probe, const std::string& received) {
    for (const RadioFamily* family : probe.families)
        if (const auto identity = family->Identify(probe.bytes, received))
            return Make(*family, probe.speed, *identity);
    return std::nullopt;
}

void Scanner::Finish() {
    if (over_) return;
    over_ = true;
    SkipOnFailure([&] { port_.Close(); });
}

void Scanner::Cancel() { Finish(); }

void Scanner::Send(const Probe& probe, const std::string& bytes, double now) {
    port_.SetLineSettings(LineSettings::TwoStopBits(probe.speed));
    port_.SetHandshake(probe.flowControl ? Handshake::RtsCts : Handshake::None);
    if (!port_.IsOpen()) port_.Open();
    port_.DiscardInput();
    port_.Write(bytes);
    lastSent_ = now;
    log_.push_back(Head(now, probe, ">") + probe.families.front()->ShowBytes(bytes));
}

std::string Scanner::Receive(const Probe& probe, double now) {
    std::string received;
    if (port_.BytesWaiting() > 0) received = port_.ReadAll();
    log_.push_back(Head(now, probe, "<") + ShownReceived(*probe.families.front(), received));
    return received;
}

std::optional<double> Scanner::Step(double now) {
    if (over_) return std::nullopt;
    if (next_ >= plan_.size()) {
        Finish();
        return std::nullopt;
    }
    const Probe& probe = plan_[next_];
    try {
        switch (stage_) {
            case Stage::Send:
            case Stage::ConfirmSend: {
                // A radio that frames by count drops a half-received block after a pause: ours
                // must reach it from the block's start.
                // Whatever the port carried before the scan counts as just sent.
                const double quiet = lastSent_ ? now - *lastSent_ : 0;
                if (quiet < probe.silenceBefore) {
                    if (!lastSent_) lastSent_ = now;
                    return probe.silenceBefore - quiet;
                }
                Send(probe, probe.bytes, now);
                stage_ = stage_ == Stage::Send ? Stage::Listen : Stage::Confirm;
                return probe.listenSeconds;
            }
            case Stage::Listen:
                return Judged(probe, Receive(probe, now), now);
            case Stage::Confirm: {
                const std::string received = Receive(probe, now);
                stage_ = Stage::Send;
                // An FT-817 reply has no frame and no checksum: the same question asked again
                // must get the same answer before line noise is taken for a radio.
                if (received == candidateBytes_ && Judge(probe, received)) {
                    found_ = candidate_;
                    Finish();
                    return std::nullopt;
                }
                candidate_.reset();
                ++next_;
                return 0.0;
            }
            case Stage::FollowUp:
                return FollowedUp(probe, Receive(probe, now), now);
        }
    } catch (const CatError& e) {
        failure_ = e.Description();
        Finish();
    }
    return std::nullopt;
}

std::optional<double> Scanner::FollowedUp(const Probe& probe, const std::string& received,
                                          double now) {
    // The probe asked again (its first answer was a refusal, as a text radio gives when bytes of
    // an earlier probe were still in its buffer): any family of the probe may know the answer.
    if (candidateBytes_ == probe.bytes) {
        for (const RadioFamily* family : probe.families) {
            const std::optional<Identity> identity = family->Identify(probe.bytes, received);
            if (!identity || identity->followUp == probe.bytes) continue;
            candidate_ = Make(*family, probe.speed, *identity);
            if (!identity->followUp.empty()) return Ask(probe, identity->followUp, now);
            break;
        }
        found_ = candidate_;
        Finish();
        return std::nullopt;
    }
    for (const RadioFamily* family : probe.families) {
        if (family->Id() != candidate_->protocol) continue;
        Identity identity{candidate_->address, candidate_->model, candidateBytes_};
        identity.everyAddress = candidate_->everyAddress;
        family->Refine(identity, received);
        found_ = Make(*family, probe.speed, identity);
    }
    Finish();
    return std::nullopt;
}

std::optional<double> Scanner::Ask(const Probe& probe, const std::string& bytes, double now) {
    candidateBytes_ = bytes;
    stage_ = Stage::FollowUp;
    Send(probe, bytes, now);
    return probe.listenSeconds;
}

std::optional<double> Scanner::Judged(const Probe& probe, const std::string& received, double now) {
    for (const RadioFamily* family : probe.families) {
        const std::optional<Identity> identity = family->Identify(probe.bytes, received);
        if (!identity) continue;
        candidate_ = Make(*family, probe.speed, *identity);
        if (family->ConfirmByRepeat()) {
            // Asked again after the same silence, so the radio reads it from its start.
            candidateBytes_ = received;
            stage_ = Stage::ConfirmSend;
            return 0.0;
        }
        if (!identity->followUp.empty()) return Ask(probe, identity->followUp, now);
        found_ = candidate_;
        Finish();
        return std::nullopt;
    }
    stage_ = Stage::Send;
    ++next_;
    return 0.0;
}

}  // namespace cat::doctor
