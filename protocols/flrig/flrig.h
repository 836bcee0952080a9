#pragma once

// The rig-sharing server flrig, reached over TCP (flrig://host:12345): XML-RPC calls over
// HTTP/1.1 on one kept-alive connection, answered from flrig's record of the radio it drives.
// Methods and mode names are in flrig_codes.h, the wire form in xml_rpc.h.
//
// flrig reads a second call that arrives in the same read as the first as part of it and never
// answers it, so the link sends one call at a time and the next only after the answer.
//
// What the doctor reads: the answer to rig.get_vfo is a reply with the frequency, rig.get_mode one
// with the mode; rig.get_xcvr ("transceiver: IC-7300") and main.get_version are replies, the
// version's note naming the server and its radio ("flrig 1.4.7 with IC-7300", "flrig 1.4.7
// without a transceiver"). flrig without a transceiver answers rig.get_xcvr empty
// and still makes up a frequency (14070000) and a mode (USB): those answers are refusals ("flrig
// has no transceiver"), as is an XML-RPC fault.
// Failure style of every routine here: ignore.

#include "core/radio_family.h"

namespace cat {

// Polls with rig.get_vfo and rig.get_mode every 0.25 s (rig.get_xcvr instead while flrig has no
// transceiver); reads rig.get_xcvr, main.get_version and rig.get_modes as the link opens; sets
// with rig.set_vfo and rig.set_mode, keys with rig.set_ptt for the operator's PTT test only.
const RadioFamily& FlrigFamily();

}  // namespace cat
