// Receive-pass throughput on what an ICOM link carries: each poll's two commands echoed by the
// interface, the radio's frequency and mode replies, and now and then a frequency the radio
// announces on its own, arriving in 17-byte pieces.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "core/comm_port.h"
#include "core/session_state.h"
#include "protocols/civ/civ.h"
#include "tests/support/open_port.h"

namespace {

class StreamPort : public cat::test::AlwaysOpenPort {
public:
    const std::string* stream = nullptr;
    std::size_t at = 0;
    std::size_t piece = 17;

    int BytesWaiting() override { return static_cast<int>(std::min(piece, stream->size() - at)); }
    void DiscardInput() override {}
    std::string ReadAll() override {
        const std::size_t n = std::min(piece, stream->size() - at);
        std::string out = stream->substr(at, n);
        at += n;
        return out;
    }
};

std::string Frame(std::initializer_list<int> bytes) {
    std::string out;
    for (int b : bytes) out.push_back(static_cast<char>(b));
    return out;
}

std::string RadioStream(std::size_t minimumBytes) {
    const std::string poll =
        Frame({0xFE, 0xFE, 0x5E, 0xE0, 0x03, 0xFD, 0x00}) +
        Frame({0xFE, 0xFE, 0xE0, 0x5E, 0x03, 0x00, 0x40, 0x07, 0x14, 0x00, 0xFD}) +
        Frame({0xFE, 0xFE, 0x5E, 0xE0, 0x04, 0xFD, 0x00}) +
        Frame({0xFE, 0xFE, 0xE0, 0x5E, 0x04, 0x01, 0x02, 0xFD});
    const std::string announced =
        Frame({0xFE, 0xFE, 0x00, 0x5E, 0x00, 0x00, 0x50, 0x07, 0x14, 0x00, 0xFD});
    std::string stream;
    for (int n = 0; stream.size() < minimumBytes; ++n) {
        stream += poll;
        if (n % 4 == 3) stream += announced;
    }
    return stream;
}

void BM_CivReceivePass(benchmark::State& bench) {
    const std::string stream = RadioStream(64 * 1024);
    StreamPort port;
    port.stream = &stream;
    port.piece = static_cast<std::size_t>(bench.range(0));
    cat::SessionState state;
    state.radioAddress = "5E";

    for (auto _ : bench) {
        port.at = 0;
        while (port.at < stream.size()) cat::ReceiveCivReplies(state, port);
        // Through a copy: the barrier may treat its operand as overwritten.
        std::optional<std::int64_t> decoded = state.frequencyHz;
        benchmark::DoNotOptimize(decoded);
    }
    bench.SetBytesProcessed(static_cast<std::int64_t>(bench.iterations()) *
                            static_cast<std::int64_t>(stream.size()));
    if (state.frequencyHz != 14'074'000 && state.frequencyHz != 14'075'000)
        bench.SkipWithError("nothing decoded");
}
BENCHMARK(BM_CivReceivePass)->Arg(17)->Arg(1)->Arg(64);

}  // namespace

BENCHMARK_MAIN();
