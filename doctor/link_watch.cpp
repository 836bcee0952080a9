#include "doctor/link_watch.h"

#include <algorithm>

#include "core/failure_policy.h"
#include "link/five_byte_check.h"

namespace cat::doctor {

void LinkWatch::Start(const LinkFacts& facts) {
    facts_ = facts;
    line_ = std::make_unique<LineAnalyzer>(facts.protocol, facts.radioAddress);
    openedAt_ = Now();
    failure_.reset();
    lostAt_.reset();
    heldSince_.reset();
    fiveByteRadio_.reset();
    protocolChosen_ = true;
}

void LinkWatch::Opened(const LinkFacts& facts) {
    Start(facts);
    open_ = true;
    everOpened_ = true;
}

void LinkWatch::OpenFailed(const LinkFacts& facts, OpenFailure failure) {
    Start(facts);
    unansweredAtLoss_.reset();
    open_ = false;
    failure_ = std::move(failure);
}

void LinkWatch::NoProtocolChosen(const LinkFacts& facts) {
    Start(facts);
    protocolChosen_ = false;
}

void LinkWatch::Closed() {
    open_ = false;
    failure_.reset();
    lostAt_.reset();
    unansweredAtLoss_.reset();
    protocolChosen_ = true;
}

void LinkWatch::Lost(std::string why) {
    if (!open_ || lostAt_) return;
    lostAt_ = Now();
    lostWhy_ = std::move(why);
    // A server that reads nothing from its radio may close the connection itself: what was left
    // unanswered then tells that apart from a network that failed, also after a reconnect. A
    // reconnect that is closed again before it had its time keeps what the one before showed;
    // an answer on it ends that.
    const LineSummary& line = line_->Summary();
    if (line.lastReply) unansweredAtLoss_.reset();
    if (line.firstUnanswered)
        unansweredAtLoss_ =
            std::max(unansweredAtLoss_.value_or(0.0), *lostAt_ - *line.firstUnanswered);
}

void LinkWatch::Open() { port_.Open(); }

void LinkWatch::Close() { port_.Close(); }

void LinkWatch::Write(const std::string& bytes) {
    line_->Sent(Now(), bytes);
    port_.Write(bytes);
}

void LinkWatch::DiscardInput() {
    // What is thrown away (a reply too short for the FT-817's count) is still what the line said.
    std::string dropped;
    SkipOnFailure([&] {
        if (port_.BytesWaiting() > 0) dropped = port_.ReadAll();
    });
    line_->Received(Now(), dropped);
    port_.DiscardInput();
}

std::string LinkWatch::ReadAll() {
    std::string bytes = port_.ReadAll();
    line_->Received(Now(), bytes);
    return bytes;
}

void LinkWatch::FollowCheck(const SessionState& state) {
    // The check's probe asks a radio of another family; the link's own radio owes it no answer.
    if (state.fiveByteCheck && !state.fiveByteCheck->Over()) line_->NothingAsked();
    if (fiveByteRadio_ || !state.fiveByteCheck || !state.fiveByteCheck->Found()) return;
    fiveByteRadio_ =
        FoundFiveByteRadio{state.fiveByteCheck->Found()->Id(), state.fiveByteCheck->FoundSpeed()};
}

Observation LinkWatch::Observe() {
    const double now = Now();
    line_->Settle(now);
    // Bytes that wait to leave are held by the line, once they have waited a while.
    int held = 0;
    if (open_ && !lostAt_) SkipOnFailure([&] { held = port_.BytesPending(); });
    if (held <= 0) {
        heldSince_.reset();
    } else if (!heldSince_) {
        heldSince_ = now;
    }

    Observation o;
    o.protocol = facts_.protocol;
    o.protocolChosen = protocolChosen_;
    o.radioAddress = facts_.radioAddress;
    o.port = facts_.port;
    o.com = facts_.com;
    o.device = facts_.device;
    o.speed = facts_.speed;
    o.handshaking = facts_.handshaking;
    o.open = open_;
    o.everOpened = everOpened_;
    o.now = now;
    o.failure = failure_;
    o.lostAt = lostAt_;
    o.lostWhy = lostWhy_;
    o.unansweredAtLoss = unansweredAtLoss_;
    o.waitingForDevice = waitingForDevice_;
    o.outputHeldSince = heldSince_;
    o.line = &line_->Summary();
    o.fiveByteRadio = fiveByteRadio_;
    return o;
}

}  // namespace cat::doctor
