#pragma once

// Small pieces every family uses alike: how bytes and frequencies read for people, and how a
// reply's reading reaches the session.

#include <cstdint>
#include <string>
#include <string_view>

#include "core/radio_family.h"
#include "core/session_state.h"

namespace cat::family {

// "fe fe 5e e0 03 fd": binary bytes as the monitor shows them.
std::string HexBytes(std::string_view bytes);
// "IF;" as it is, "\x00?;" with what cannot be printed escaped: text commands as the monitor
// shows them.
std::string TextBytes(std::string_view bytes);
// "14.074000 MHz".
std::string Megahertz(std::int64_t hertz);
// "5E".
std::string Hex2(int value);
bool Printable(char c);

// A reply's frequency and mode, into the session the display reads.
void Apply(SessionState& state, const Piece& piece);

// Cuts all of `received` with `reader` and hands each piece with its bytes to `take`, until
// `take` returns true.
template <typename Take>
void ForEachPiece(LineReader& reader, std::string_view received, Take take) {
    for (std::size_t at = 0; at < received.size();) {
        const Piece piece = reader.Next(received.substr(at), true);
        const std::size_t length = piece.length > 0 ? piece.length : 1;
        if (take(piece, received.substr(at, length))) return;
        at += length;
    }
}

}  // namespace cat::family
