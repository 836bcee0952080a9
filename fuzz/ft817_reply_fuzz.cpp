// Arbitrary bytes as everything an FT-817 (or the line) might send around one poll: stale
// bytes before it, a reply in pieces after the command, a port that returns short. The mode
// must stay a ModeIndex and the exchange must end without spinning.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <string>

#include "core/cat_error.h"
#include "core/comm_port.h"
#include "core/platform.h"
#include "core/session_state.h"
#include "protocols/ft817/ft817.h"
#include "tests/support/fakes.h"
#include "tests/support/open_port.h"

namespace {

using StepClock = cat::test::FakeClock;

class ScriptedPort : public cat::test::AlwaysOpenPort {
public:
    explicit ScriptedPort(StepClock& clock) : clock_(clock) {}

    std::string waiting;
    std::deque<std::string> afterCommand;  // pieces, one per count or wait after the command
    std::size_t inputShortBy = 0;
    int calls = 0;

    void Write(const std::string& bytes) override {
        if (bytes.size() != 5) std::abort();
        sent_ = true;
    }
    int BytesWaiting() override {
        if (++calls > 200) std::abort();  // a wait that polls instead of blocking
        Deliver();
        return static_cast<int>(waiting.size());
    }
    void DiscardInput() override { waiting.clear(); }
    std::string ReadAll() override {
        std::string out;
        out.swap(waiting);
        out.resize(out.size() - std::min(inputShortBy, out.size()));
        return out;
    }
    int WaitForInput(int count, std::chrono::milliseconds timeout) override {
        if (++calls > 200) std::abort();
        if (timeout.count() <= 0 || timeout.count() > 400) std::abort();
        Deliver();
        if (static_cast<int>(waiting.size()) < count) {
            clock_.now += timeout.count() / 1000.0;
        }
        return static_cast<int>(waiting.size());
    }

private:
    void Deliver() {
        if (!sent_ || afterCommand.empty()) return;
        waiting += afterCommand.front();
        afterCommand.pop_front();
    }
    StepClock& clock_;
    bool sent_ = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    StepClock clock;
    ScriptedPort port(clock);
    cat::test::FakePause pause{clock};
    cat::test::FakeMessages messages;
    cat::test::FakeTimer timer;
    cat::Platform platform{port, clock, pause, messages, timer};

    cat::SessionState state;
    state.protocol = cat::Protocol::Ft817;
    state.mode = static_cast<cat::ModeIndex>(data[0] % 7);
    clock.now = (data[1] & 0x80) ? 86399.9f : static_cast<float>(data[1]) * 300.0f;
    port.inputShortBy = data[1] & 0x03;
    std::size_t i = 2;

    const std::size_t staleWanted = data[i++] % 16;
    const std::size_t stale = std::min(staleWanted, size - i);
    port.waiting.assign(reinterpret_cast<const char*>(data + i), stale);
    i += stale;
    while (i < size) {
        const std::size_t wanted = data[i++] % 8;
        const std::size_t length = std::min(wanted, size - i);
        port.afterCommand.emplace_back(reinterpret_cast<const char*>(data + i), length);
        i += length;
    }

    cat::PollFt817(state, platform);

    if (!messages.shown.empty()) std::abort();  // the FT-817 routines never tell the operator
    if (state.mode && cat::ModeName(*state.mode).empty()) std::abort();
    if (state.frequencyHz && (*state.frequencyHz < 0 || *state.frequencyHz >= 1'000'000'000))
        std::abort();
    return 0;
}
