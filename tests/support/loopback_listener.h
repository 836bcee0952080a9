#pragma once

// A listening socket on a free loopback port, for the far ends the tests and benchmarks play.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>

namespace cat::test {

// The listening socket, or -1; `port` gets the port the system chose (0 when none).
inline int ListenOnLoopback(std::uint16_t& port, int backlog = 4) {
    port = 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    if (listener >= 0 && ::bind(listener, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
        ::listen(listener, backlog) == 0 &&
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) == 0)
        port = ntohs(address.sin_port);
    return listener;
}

}  // namespace cat::test
