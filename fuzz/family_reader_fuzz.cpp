// Arbitrary bytes, in arbitrary pieces, through every family's line reader as the doctor and the
// live link use it: each piece it cuts lies within the bytes, a whole final pass consumes them
// all, and every family's identity read takes the same bytes without harm. The rig-sharing
// servers' readers are among them.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz/every_family.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    static const auto families = EveryFamily();
    const cat::RadioFamily& family = *families[data[0] % families.size()];
    const std::size_t cut = data[1];
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 2, size - 2);

    const auto reader = family.Reader("5E");
    // A server is asked nothing at first: its answers are then to nothing asked, still read.
    if (!family.Record().identityReads.empty()) reader->Sent(family.Record().identityReads.front());
    std::string pending;
    for (std::size_t at = 0; at <= bytes.size(); at += cut + 1) {
        pending.append(bytes.substr(at, cut + 1));
        const bool final = at + cut + 1 >= bytes.size();
        std::size_t done = 0;
        while (done < pending.size()) {
            const cat::Piece piece = reader->Next(std::string_view(pending).substr(done), final);
            if (piece.length > pending.size() - done) std::abort();
            if (piece.length == 0) {
                if (final) std::abort();  // a final pass must take everything
                break;
            }
            done += piece.length;
        }
        pending.erase(0, done);
    }
    for (const cat::RadioFamily* any : families) {
        if (!any->Record().identityReads.empty())
            any->Identify(any->Record().identityReads.front(), bytes);
        any->Recognise(bytes);
    }
    return 0;
}
