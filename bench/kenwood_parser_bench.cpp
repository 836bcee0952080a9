// Throughput of the Kenwood receive pass over a stream of status replies as a radio sends them
// at a poll every 0.25 s, interleaved with the echoes of set commands, arriving in the uneven
// pieces a serial driver hands over.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "core/comm_port.h"
#include "core/session_state.h"
#include "protocols/kenwood/kenwood.h"
#include "tests/support/open_port.h"

namespace {

// Serves one prepared piece per pass.
class StreamPort : public cat::test::AlwaysOpenPort {
public:
    explicit StreamPort(const std::vector<std::string>& pieces) : pieces_(pieces) {}
    void Rewind() { next_ = 0; }
    bool Done() const { return next_ >= pieces_.size(); }

    int BytesWaiting() override { return Done() ? 0 : static_cast<int>(pieces_[next_].size()); }
    void DiscardInput() override { ++next_; }
    std::string ReadAll() override { return pieces_[next_++]; }

private:
    const std::vector<std::string>& pieces_;
    std::size_t next_ = 0;
};

std::string Stream(std::size_t bytes) {
    std::mt19937 random(817);
    std::uniform_int_distribution<int> hertz(1800000, 29700000);
    std::uniform_int_distribution<int> mode(1, 9);
    std::string stream;
    int replies = 0;
    while (stream.size() < bytes) {
        std::string frequency = std::to_string(hertz(random) / 10 * 10);
        frequency.insert(0, 11 - frequency.size(), '0');
        stream += "IF" + frequency + "     +00000000" + "00" +
                  static_cast<char>('0' + mode(random)) + "0000000;";
        if (++replies % 8 == 0) stream += "FA" + frequency + ";MD2;";
    }
    return stream;
}

std::vector<std::string> Pieces(const std::string& stream, int largest) {
    std::mt19937 random(4096);
    std::uniform_int_distribution<int> size(1, largest);
    std::vector<std::string> pieces;
    for (std::size_t at = 0; at < stream.size();) {
        const std::size_t n = std::min<std::size_t>(size(random), stream.size() - at);
        pieces.push_back(stream.substr(at, n));
        at += n;
    }
    return pieces;
}

void BM_KenwoodReceivePieces(benchmark::State& state) {
    const std::string stream = Stream(1 << 20);
    const std::vector<std::string> pieces = Pieces(stream, static_cast<int>(state.range(0)));
    StreamPort port(pieces);
    cat::SessionState session;
    for (auto _ : state) {
        port.Rewind();
        while (!port.Done()) cat::ReceiveKenwoodReplies(session, port);
        benchmark::DoNotOptimize(session.frequencyHz);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(stream.size()));
    state.counters["passes"] = static_cast<double>(pieces.size());
}
BENCHMARK(BM_KenwoodReceivePieces)->Arg(16)->Arg(64)->Arg(512)->Unit(benchmark::kMillisecond);

// A burst far over the 4096-character limit handed over at once: every reply is still parsed,
// in one pass, without shifting the buffer once per reply.
void BM_KenwoodReceiveBurst(benchmark::State& state) {
    const std::string stream = Stream(static_cast<std::size_t>(state.range(0)));
    const std::vector<std::string> pieces{stream};
    StreamPort port(pieces);
    cat::SessionState session;
    for (auto _ : state) {
        port.Rewind();
        cat::ReceiveKenwoodReplies(session, port);
        benchmark::DoNotOptimize(session.frequencyHz);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(stream.size()));
}
BENCHMARK(BM_KenwoodReceiveBurst)->Arg(64 << 10)->Arg(1 << 20)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
