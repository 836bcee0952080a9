#pragma once

// A pseudo-terminal in raw mode whose master the caller keeps; the slave is closed at once, so only
// the port under test holds it and closing the master makes the device vanish.

#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <string>

namespace cat::test {

// The master's descriptor and the slave's path; a master of -1 when no pty could be made.
inline int OpenRawPty(std::string& slavePath) {
    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) return -1;
    termios raw{};
    tcgetattr(master, &raw);
    cfmakeraw(&raw);
    tcsetattr(master, TCSANOW, &raw);
    ::close(slave);
    slavePath = name;
    return master;
}

}  // namespace cat::test
