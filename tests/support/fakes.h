#pragma once

// Test doubles for the core's platform interfaces. Each test builds its own FakeWorld.

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <initializer_list>
#include <map>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/cat_error.h"
#include "core/comm_port.h"
#include "core/mode.h"
#include "core/platform.h"
#include "core/session_state.h"
#include "link/link.h"
#include "link/poll_cycle.h"

namespace cat {

// Protocols print by name when an assertion fails.
inline std::ostream& operator<<(std::ostream& os, Protocol protocol) {
    constexpr const char* kNames[] = {"None",  "Ft817",   "Kenwood", "Icom",
                                      "Yaesu", "Rigctld", "Flrig"};
    return os << kNames[static_cast<std::size_t>(protocol)];
}

}  // namespace cat

namespace cat::test {

// Bytes from a list of values: Bytes({0xFE, 0xFE, 0x5E}).
inline std::string Bytes(std::initializer_list<int> values) {
    std::string out;
    for (int v : values) out.push_back(static_cast<char>(static_cast<unsigned char>(v)));
    return out;
}

// The mode the display shows, as its list position; -1 for none. Reply tables are written in it.
inline int ShownMode(const SessionState& state) { return state.mode ? ToInt(*state.mode) : -1; }

// "fe fe 5e e0 03 fd": how frames print when an assertion fails.
inline std::string ToHex(const std::string& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        if (!out.empty()) out.push_back(' ');
        out.push_back(digits[c >> 4]);
        out.push_back(digits[c & 15]);
    }
    return out;
}

class FakeClock : public Clock {
public:
    double now = 0.0;          // seconds
    double stepPerRead = 0.0;  // advances the clock on every read, like time passing while polled
    Seconds Now() override {
        const double t = now;
        now += stepPerRead;
        return Seconds(t);
    }
    void Advance(double seconds) { now += seconds; }
};

class FakePause : public Pause {
public:
    explicit FakePause(FakeClock& clock) : clock_(clock) {}
    std::vector<int> sleeps;
    void Sleep(int milliseconds) override {
        sleeps.push_back(milliseconds);
        clock_.Advance(milliseconds / 1000.0);
    }

private:
    FakeClock& clock_;
};

class FakeMessages : public MessageBoxes {
public:
    struct Box {
        std::string title;
        std::string text;
        bool critical;
    };
    std::vector<Box> shown;
    std::function<void()> whileShown;  // runs "inside" the modal box, as a nested dispatch would
    void Critical(const std::string& text) override {
        shown.push_back({"CAT", text, true});
        if (whileShown) whileShown();
    }
    void Information(const std::string& title, const std::string& text) override {
        shown.push_back({title, text, false});
        if (whileShown) whileShown();
    }
};

class FakeTimer : public PollTimer {
public:
    bool enabled = false;
    std::vector<bool> history;  // every SetEnabled call, in order
    void SetEnabled(bool on) override {
        enabled = on;
        history.push_back(on);
    }
    bool Enabled() const override { return enabled; }
};

// A pause during which the radio's reply comes in, as it does on a real line: the pass that
// follows the pause finds it.
class ReplyDuringPause : public Pause {
public:
    ReplyDuringPause(std::string& waiting, std::string reply)
        : waiting_(waiting), reply_(std::move(reply)) {}
    std::vector<int> sleeps;
    void Sleep(int milliseconds) override {
        sleeps.push_back(milliseconds);
        waiting_ += reply_;
    }

private:
    std::string& waiting_;
    std::string reply_;
};

// A serial port that records everything set and written, and serves scripted input.
class FakeCommPort : public CommPort {
public:
    enum class Op {
        SelectPort,
        SetLineSettings,
        SetHandshake,
        Open,
        Close,
        IsOpen,
        Write,
        BytesWaiting,
        DiscardInput,
        ReadAll,
        WaitForInput
    };

    explicit FakeCommPort(FakeClock* clock = nullptr) : clock_(clock) {}

    // What the test reads back.
    std::vector<std::string> log;     // "Port=3", "Settings=9600,n,8,2", "Handshake=none", "Open"
    std::vector<std::string> writes;  // every Write, one entry per call
    std::vector<std::chrono::milliseconds> waits;
    int portNumber = 0;
    std::string settings;  // the line settings' text
    std::optional<Handshake> handshake;
    ControlLineLevels lines;               // DTR and RTS as last set
    std::vector<std::string> lineChanges;  // "DTR on, RTS off" for every SetControlLines
    double linesSetAt = 0;                 // the clock's time of the last SetControlLines
    bool open = false;
    bool failOutputWhenClosed =
        true;  // a closed port raises on Write and reads, as a real one does

    // Scripted input.
    std::string waiting;               // bytes already in the buffer
    std::deque<std::string> arrivals;  // pieces that arrive one per read of the count or wait
    std::deque<std::string> replies;   // one reply queued per Write, in order
    std::function<std::string(const std::string&)> responder;  // answers a write, if set
    std::optional<std::size_t> inputShortBy;  // ReadAll returns fewer bytes than counted
    // Runs as each call begins: a line whose bytes arrive late delivers them here.
    std::function<void(Op)> onCall;

    void Arrive(const std::string& bytes) { waiting += bytes; }
    std::string AllWritten() const {
        std::string all;
        for (const auto& w : writes) all += w;
        return all;
    }

    // The next `times` calls of `op` (or all, with -1) raise CatError(number, description).
    void FailOn(Op op, int number = 8012, std::string description = "The device is not open.",
                int times = -1) {
        failures_[op] = {number, std::move(description), times};
    }
    void Heal(Op op) { failures_.erase(op); }

    void SelectPort(int number) override {
        Check(Op::SelectPort);
        portNumber = number;
        log.push_back("Port=" + std::to_string(number));
    }
    int PortNumber() const override { return portNumber; }
    void SetLineSettings(const LineSettings& s) override {
        Check(Op::SetLineSettings);
        settings = s.text;
        log.push_back("Settings=" + s.text);
    }
    void SetHandshake(Handshake h) override {
        Check(Op::SetHandshake);
        handshake = h;
        log.push_back(h == Handshake::RtsCts ? "Handshake=rtscts" : "Handshake=none");
    }
    void Open() override {
        Check(Op::Open);
        open = true;
        log.push_back("Open");
    }
    void Close() override {
        Check(Op::Close);
        open = false;
        log.push_back("Close");
    }
    bool IsOpen() const override {
        const_cast<FakeCommPort*>(this)->Check(Op::IsOpen);
        return open;
    }
    void SetControlLines(const ControlLineLevels& levels) override {
        lines = levels;
        if (clock_) linesSetAt = clock_->now;
        lineChanges.push_back(std::string("DTR ") + (levels.dtr ? "on" : "off") + ", RTS " +
                              (levels.rts ? "on" : "off"));
    }
    ControlLineLevels ControlLines() const override { return lines; }
    void Write(const std::string& bytes) override {
        Check(Op::Write);
        RequireOpen();
        writes.push_back(bytes);
        if (responder) waiting += responder(bytes);
        if (!replies.empty()) {
            waiting += replies.front();
            replies.pop_front();
        }
    }
    int BytesWaiting() override {
        Check(Op::BytesWaiting);
        RequireOpen();
        TakeArrival();
        return static_cast<int>(waiting.size());
    }
    void DiscardInput() override {
        Check(Op::DiscardInput);
        RequireOpen();
        waiting.clear();
    }
    std::string ReadAll() override {
        Check(Op::ReadAll);
        RequireOpen();
        std::string out = waiting;
        if (inputShortBy && *inputShortBy <= out.size()) out.resize(out.size() - *inputShortBy);
        waiting.clear();
        return out;
    }
    int WaitForInput(int count, std::chrono::milliseconds timeout) override {
        Check(Op::WaitForInput);
        RequireOpen();
        waits.push_back(timeout);
        while (static_cast<int>(waiting.size()) < count && !arrivals.empty()) TakeArrival();
        if (static_cast<int>(waiting.size()) < count && clock_)
            clock_->Advance(timeout.count() / 1000.0);
        return static_cast<int>(waiting.size());
    }

private:
    struct Failure {
        int number;
        std::string description;
        int times;
    };
    void Check(Op op) {
        if (onCall) onCall(op);
        auto it = failures_.find(op);
        if (it == failures_.end()) return;
        Failure f = it->second;
        if (it->second.times > 0 && --it->second.times == 0) failures_.erase(it);
        throw CatError(f.number, f.description);
    }
    void RequireOpen() const {
        if (!open && failOutputWhenClosed) throw CatError(8012, "The device is not open.");
    }
    void TakeArrival() {
        if (arrivals.empty()) return;
        waiting += arrivals.front();
        arrivals.pop_front();
    }

    FakeClock* clock_;
    std::map<Op, Failure> failures_;
};

// The frequency box, remembering what it was given; it can fail the next write, as a window that
// is going away might.
class FakeDisplay : public DisplayBox {
public:
    std::string text;
    int writes = 0;
    bool failNextWrite = false;
    std::string Text() const override { return text; }
    void SetText(const std::string& t) override {
        if (failNextWrite) {
            failNextWrite = false;
            throw std::runtime_error("display gone");
        }
        text = t;
        ++writes;
    }
};

// A link nobody watches.
class Unwatched : public LinkObserver {
public:
    void Opened(const SessionState&, Handshake) override {}
    void Ticked(const SessionState&) override {}
};

// Everything a core routine needs, faked, wired together.
struct FakeWorld {
    FakeClock clock;
    FakePause pause{clock};
    FakeMessages messages;
    FakeTimer timer;
    FakeCommPort port{&clock};
    Platform platform{port, clock, pause, messages, timer};
};

}  // namespace cat::test
