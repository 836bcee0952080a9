// Arbitrary bytes, cut into arbitrary pieces, through the CI-V receive pass: the buffer must
// stay bounded and the mode must stay a ModeIndex the CI-V decoder can produce.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/comm_port.h"
#include "core/session_state.h"
#include "protocols/civ/civ.h"
#include "tests/support/open_port.h"

namespace {

class PiecePort : public cat::test::AlwaysOpenPort {
public:
    std::string waiting;
    std::size_t shortBy = 0;  // Input hands over fewer bytes than counted

    int BytesWaiting() override { return static_cast<int>(waiting.size()); }
    void DiscardInput() override { waiting.clear(); }
    std::string ReadAll() override {
        std::string out = waiting;
        out.resize(out.size() > shortBy ? out.size() - shortBy : 0);
        waiting.clear();
        return out;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    cat::SessionState state;
    // The usual address, the default 00, our own E0 (so echoes decode), one with blanks, none.
    static const char* const kAddresses[] = {"5E", "00", "E0", " 5E ", "", "94"};
    state.radioAddress = kAddresses[data[0] % 6];
    state.controllerAddress = "E0";
    PiecePort port;
    port.shortBy = data[1] % 4 == 0 ? data[1] % 3 : 0;
    data += 2;
    size -= 2;

    // Each piece: a length byte, then up to that many bytes of line data.
    std::size_t i = 0;
    while (i < size) {
        const std::size_t want = data[i++];
        const std::size_t take = want < size - i ? want : size - i;
        port.waiting.assign(reinterpret_cast<const char*>(data + i), take);
        i += take;
        cat::ReceiveCivReplies(state, port);
        if (state.received.size() > 255) std::abort();
        if (state.mode && cat::ModeName(*state.mode).empty()) std::abort();
        if (state.frequencyHz && (*state.frequencyHz < 0 || *state.frequencyHz >= 10'000'000'000))
            std::abort();
    }
    return 0;
}
