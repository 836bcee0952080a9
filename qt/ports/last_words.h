#pragma once

// Bytes the program must still write if it dies: the unkey of a radio it keyed by command. A
// fatal signal (a crash, an abort, a kill it can catch) writes them to the port's descriptor,
// once, and the program goes on to die as it would have. A line keyed for a test needs none of
// this: it drops when the system closes the port of a dead program.

#include <string>
#include <string_view>

namespace cat {

// At most this many bytes are kept: flrig's unkey call, an HTTP request of some 210 bytes, fits
// several times over, as does a CI-V frame over telnet with every byte doubled.
inline constexpr std::size_t kLastWordsLimit = 1024;

// From now on, death writes `bytes` to `fd`; false when they do not fit.
bool ArmLastWords(int fd, std::string_view bytes);
// Arms the unkey a test's CAT key needs before it keys: empty when armed, else why a crash now
// would leave the radio transmitting, for the operator.
std::string ArmUnkey(int fd, std::string_view bytes);
void DisarmLastWords();
// Whether death would write anything now.
bool LastWordsArmed();

}  // namespace cat
