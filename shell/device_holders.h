#pragma once

// Who else has a serial device open, and what to say of it. Linux lets two programs open one
// terminal: both opens succeed and their commands mix on the line, so the program looks for other
// holders before it opens a port and before Find radio probes one. The shell gathers the processes
// from the system; what each one is, and the words, are worked out here from its command line.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "control/refusal.h"
#include "core/port_names.h"
#include "core/settings_store.h"
#include "shell/port_catalog.h"

namespace cat {

struct HoldingProcess {
    std::int64_t pid = 0;
    std::string program;  // "rigctld"
    // A rig-sharing server: where it takes commands for the radio it holds, its own command
    // line's port and address, or the server's usual ones.
    std::optional<PortTarget> server;
};

// What a process's command line says of it. `commandLine` is as /proc/PID/cmdline holds it, each
// word ended by a NUL: the program is the base name of the first word, whole (/proc/PID/comm,
// `shortName`, stops at 15 characters and is the fallback for a process that blanked its command
// line). rigctld -t 4533 -T 192.168.1.5 takes commands at rigctld://192.168.1.5:4533.
HoldingProcess HolderOf(std::int64_t pid, std::string_view commandLine, std::string_view shortName);

// "rigctld (process 1234)"; several as "rigctld (process 1234) and sleep (process 99)".
std::string HolderText(const HoldingProcess& holder);
std::string HoldersText(const std::vector<HoldingProcess>& holders);

// "rigctld (process 1234) also has Com 3 open: its commands and ours will mix". Empty for none.
std::string SharedOpenWarning(const std::vector<HoldingProcess>& holders, const std::string& port);

// "Com 3: held by rigctld (process 1234), not probed": why Find radio leaves a port alone.
std::string NotProbedText(const std::vector<HoldingProcess>& holders, const std::string& port);

// Why Find radio leaves the port at `device` (`port` to the operator) alone; empty when it may
// probe it. A rig-sharing server's port carries the server's commands: another family's probe
// would reach it as commands of its own, and the radio behind it is the server's to find. Probes
// on a port another program holds reach its radio between that program's commands, and what
// comes back answers either: the scan would judge a mixture.
std::string ScanRefusal(const std::string& device, const std::vector<HoldingProcess>& holders,
                        const std::string& port);

// The first holder that is a rig-sharing server: the radio can be tested through it.
std::optional<HoldingProcess> SharingServer(const std::vector<HoldingProcess>& holders);

// "Com 3 is held by rigctld (process 1234): test through it".
std::string TestThroughText(const HoldingProcess& server, const std::string& port);

// "rigctld://localhost:4532", "flrig://[::1]:12345": the [Ports] value that reaches a server.
std::string ServerEntry(const PortTarget& server);

// Where the entry for `server` goes: a Com number whose entry reaches that server already, else
// the first with no [Ports] key and no serial port of the system, else the first with no key.
// Nothing when every number has a key.
std::optional<std::int16_t> ComForServer(const std::vector<PortRow>& rows,
                                         const PortTarget& server);

// What came of giving a server's [Ports] entry (`entry`, "rigctld://localhost:4532") a Com
// number: the number to choose and open, or the refusal to show, or with a number whose entry
// could not be saved, both. Nothing at all for an entry that is no address.
struct ServerCom {
    std::optional<std::int16_t> com;
    std::optional<Refusal> refusal;
};

// Writes the entry under the number ComForServer picks, unless that number has it already; a
// key written by hand is never changed. The store is synced, so the entry is on disk before the
// port list reads it back.
ServerCom PutServerOnCom(SettingsStore& store, const std::vector<PortRow>& rows,
                         const std::string& entry);

}  // namespace cat
