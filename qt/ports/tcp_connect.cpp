#include "qt/ports/tcp_connect.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "core/comm_errors.h"
#include "qt/ports/name_lookup.h"
#include "qt/ports/quit_request.h"

namespace cat {

namespace {

// 0 once the connection is up, the system's error otherwise (ETIMEDOUT when time ran out).
int AwaitConnection(int fd, const addrinfo& address, SteadyTime deadline) {
    int error = ::connect(fd, address.ai_addr, address.ai_addrlen) == 0 ? 0 : errno;
    if (error != EINPROGRESS) return error;
    error = ETIMEDOUT;
    for (;;) {
        const WaitResult r = WaitForDescriptor(fd, POLLOUT, MillisecondsLeft(deadline));
        if (r == WaitResult::Ready) {
            socklen_t size = sizeof error;
            if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) error = errno;
            return error;
        }
        if (r != WaitResult::TimedOut || MillisecondsLeft(deadline) == 0) return error;
    }
}

}  // namespace

std::string SystemText(int error) { return std::strerror(error); }

int ConnectTo(const PortTarget& target, std::chrono::milliseconds timeout,
              const std::string& label) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    const AddressList list = LookUpAddresses(target, deadline, label);
    const std::string where = HostAndPort(target);
    int lastError = ETIMEDOUT;
    for (addrinfo* a = list.get(); a; a = a->ai_next) {
        const int fd = ::socket(a->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            lastError = errno;
            continue;
        }
        const int error = AwaitConnection(fd, *a, deadline);
        if (error == 0) return fd;
        ::close(fd);
        lastError = error;
        if (MillisecondsLeft(deadline) == 0) break;
    }
    if (lastError == ECONNREFUSED)
        throw CommError(CommFault::ConnectionRefused, label, where, SystemText(lastError));
    throw CommError(CommFault::NoAnswer, label, where, SystemText(lastError));
}

void TuneSocket(int fd) {
    const int on = 1;
    // CAT commands are a few bytes each: send them at once instead of gathering.
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    // A far end that vanishes without closing (power cut, cable pulled) is found within about
    // 25 s instead of hours.
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
#ifdef TCP_KEEPIDLE
    const int idle = 10, interval = 5, count = 3;
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
#endif
}

}  // namespace cat
