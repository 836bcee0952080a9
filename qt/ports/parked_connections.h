#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "core/port_names.h"

namespace cat {

struct ProbedConnection {
    int fd = -1;
    std::string received;  // what the far end said meanwhile (ser2net's telnet greeting)
};

// The wait for a network port that is not up yet: a connection to `target` made within
// `timeout` that stays up, or nothing. `firstBytes` go out as soon as the connection is made
// (the far end raises its device's lines as it opens it for this connection, and the probe holds
// it for a while). Safe to call from any thread.
std::optional<ProbedConnection> ProbeNetworkPort(const PortTarget& target,
                                                 std::chrono::milliseconds timeout,
                                                 const std::string& firstBytes = {});

// A far end like ser2net takes one connection at a time: the connection a probe found up is kept
// for a few seconds for the next network port opened on the same address, instead of being
// closed and asked for again (the far end would still be busy with the first). Keeping another
// closes the one kept before.
void KeepProbedConnection(const PortTarget& target, ProbedConnection connection);
std::optional<ProbedConnection> TakeProbedConnection(const PortTarget& target);
// The link no longer waits: a kept connection would hold the far end's port for nobody.
void DiscardProbedConnection();

}  // namespace cat
