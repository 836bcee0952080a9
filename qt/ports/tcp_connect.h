#pragma once

#include <chrono>
#include <string>

#include "core/port_names.h"

namespace cat {

// A connected, non-blocking socket to the first of `target`'s addresses that answers within
// `timeout`, or a CatError naming the port as `label` (refused, or no answer).
int ConnectTo(const PortTarget& target, std::chrono::milliseconds timeout,
              const std::string& label);

// Sends small commands at once and notices a far end that vanished without closing.
void TuneSocket(int fd);

std::string SystemText(int error);

}  // namespace cat
