// Arbitrary bytes, cut into arbitrary pieces, through the Kenwood receive pass. After every
// pass the buffer must be bounded, the mode a ModeIndex and the re-entrancy flag clear.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/cat_error.h"
#include "core/comm_port.h"
#include "core/session_state.h"
#include "protocols/kenwood/kenwood.h"
#include "tests/support/open_port.h"

namespace {

class PiecePort : public cat::test::AlwaysOpenPort {
public:
    std::string waiting;
    bool failCount = false;

    int BytesWaiting() override {
        if (failCount) throw cat::CatError(8012, "The device is not open.");
        return static_cast<int>(waiting.size());
    }
    void DiscardInput() override { waiting.clear(); }
    std::string ReadAll() override {
        std::string out;
        out.swap(waiting);
        return out;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    cat::SessionState state;
    state.protocol = cat::Protocol::Kenwood;
    PiecePort port;

    std::size_t i = 0;
    while (i < size) {
        // Control byte: bit 5 reads nothing this pass, bit 6 makes the count fail, bit 7 asks
        // for a long piece (up to 8191 bytes, to cross the 4096 limit in one go).
        const std::uint8_t control = data[i++];
        std::size_t length = (control & 0x1F) + 1;
        if ((control & 0x80) && i < size) length = (control & 0x1F) * 256u + data[i++];
        const std::size_t take = std::min(length, size - i);
        port.waiting.append(reinterpret_cast<const char*>(data + i), take);
        i += take;
        port.failCount = (control & 0x40) != 0;

        cat::ReceiveKenwoodReplies(state, port);

        if (state.received.size() > 4096) std::abort();
        if (state.mode && cat::ModeName(*state.mode).empty()) std::abort();
        if (state.parsingReplies) std::abort();
        if (state.frequencyHz && *state.frequencyHz < 0) std::abort();
    }
    return 0;
}
