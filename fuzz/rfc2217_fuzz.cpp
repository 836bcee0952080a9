// Arbitrary bytes from a far end, in arbitrary pieces, through the telnet session: data and
// answers never grow beyond what came in (each negotiation byte draws a bounded answer), and
// the session's state queries hold whatever arrived.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "shell/rfc2217.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::size_t cut = data[0] + 1u;
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    cat::TelnetSession session;
    session.Start();
    std::string received;
    std::string replies;
    for (std::size_t at = 0; at < bytes.size(); at += cut)
        session.Receive(bytes.substr(at, cut), received, replies);
    if (received.size() > bytes.size()) std::abort();
    // An answer is at most a few bytes for every three-byte request.
    if (replies.size() > 4 * bytes.size() + 64) std::abort();
    session.ComPortAgreement();
    session.Reported(cat::ComPortCommand::SetBaudRate);
    session.EncodeData(received);
    return 0;
}
