#pragma once

// What the text-command families (Kenwood and its dialects, Yaesu's text CAT) share: commands
// of two capital letters and parameters, each ended by ";", and "?;" for a command the radio
// refuses.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/platform.h"
#include "core/radio_family.h"
#include "core/session_state.h"

namespace cat::text {

// The scan's read of a text radio's identity. The ";" in front ends whatever bytes of an earlier
// probe (another family's, or at another speed) the radio still holds, so that the ID; itself
// reaches it whole.
inline constexpr std::string_view kIdentityProbe = ";ID;";

// What empties a text radio's command buffer: it keeps every byte up to the next ";" and refuses
// the whole run as one command (FT-991 CAT reference book, p. 2: characters besides the command
// and its parameters make it wrong), so a lone ";" ends whatever is there. The radio answers it
// "?;" (a TS-890S, TS-990S, FT-991, FTDX101MP and FTDX3000 do, from a report of their behaviour
// to a lone ";"; from memory for the other models).
inline constexpr std::string_view kBufferClear = ";";

// Longer than any reply of these radios; a run this long without its ";" is not one.
inline constexpr std::size_t kLongestReply = 64;

// Writes `command` with its ";" (never twice), pauses 5 ms and runs one receive pass with
// `reader`. Failure style: ignore.
void Send(SessionState& state, Platform& platform, const std::string& command, LineReader& reader);

// Each whole reply a pass cuts, with its text and ";": a read that waits for one answer looks for
// it here, while the pass takes in everything else as it always does.
using ReplySeen = std::function<void(const Piece&, std::string_view)>;

// One receive pass: moves the waiting bytes from the port into the receive buffer, then cuts the
// whole replies out of it and takes frequency, mode and transmit state from those `reader` reads.
void ReceivePass(SessionState& state, CommPort& port, LineReader& reader,
                 const ReplySeen& seen = {});

// A transmit read: takes in what is waiting (it is not the answer), writes `command` and waits
// for the reply `answers` recognises, at most kTransmitReadLimit. Every reply that comes meanwhile
// is taken in as the receive pass would. `answers` sees each reply and returns true at the one that
// answers (the caller keeps what it says). False when the write failed or no answer came.
bool ReadAndAwait(SessionState& state, Platform& platform, const std::string& command,
                  LineReader& reader,
                  const std::function<bool(const Piece&, std::string_view)>& answers);

// "IF00014074000...": a reply's text without its ";" that may be a command of these radios.
bool LooksLikeCommand(std::string_view text);

bool AllDigits(std::string_view text);
// "00014074000" -> 14074000; only for text AllDigits accepts.
std::int64_t DigitsValue(std::string_view digits);

// "identity: TS-590S", or "identity: number 099" for a number no table has.
std::string IdentityNote(const std::optional<std::string_view>& model, std::string_view number);

// Clean text a reader does not read: not a reply to anything we asked.
Piece Unread(const std::string& name);

// Cuts text replies; what each reply means is the family's.
class TextReader : public LineReader {
public:
    std::string Sent(std::string_view bytes) override;
    Piece Next(std::string_view bytes, bool final) override;

protected:
    // A whole reply (without its ";") that LooksLikeCommand, and is not our echo or "?".
    virtual Piece ReadReply(std::string_view text) const = 0;
    virtual std::string CommandName(std::string_view text) const = 0;

private:
    std::deque<std::string> sent_;  // commands whose echo may still come, without ";"
};

}  // namespace cat::text
