#pragma once

#include <netdb.h>

#include <chrono>
#include <memory>
#include <string>

#include "core/port_names.h"

namespace cat {

using SteadyTime = std::chrono::steady_clock::time_point;

// Whole milliseconds until `deadline`, never below 0: what poll() takes.
int MillisecondsLeft(SteadyTime deadline);

struct AddressListFree {
    void operator()(addrinfo* list) const;
};
using AddressList = std::unique_ptr<addrinfo, AddressListFree>;

// The addresses of `target`'s host, looked up on a thread of its own and waited for until
// `deadline`: a resolver that does not answer must not hang the window, and a request to close
// ends the wait. A lookup given up on frees its own result when it ends. Failures are raised as
// CatError naming the port as `label`.
AddressList LookUpAddresses(const PortTarget& target, SteadyTime deadline,
                            const std::string& label);

}  // namespace cat
