#pragma once

// rigctld, the rig-sharing server that holds the radio's serial port and takes text commands on
// a TCP port (4532 unless told otherwise): the link reads and sets the radio through it. The
// server sets the radio's line, so speed, handshake and address do not apply here; what can go
// wrong is the server's own link to the radio, which it reports as RPRT -n. Codes are named in
// rigctld_codes.h. Failure style of every routine here: ignore.

#include <optional>
#include <string>
#include <string_view>

#include "core/radio_family.h"

namespace cat {

// "RPRT -5: communication timed out"; a number without words is given as it is.
std::string RigctldErrorText(int code);

// Polls with +f and +m at most every 0.25 s, one exchange at a time; sets with +F and +M.
const RadioFamily& RigctldFamily();

}  // namespace cat
