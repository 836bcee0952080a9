#include "qt/ports/parked_connections.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <utility>

#include "core/cat_error.h"
#include "qt/ports/name_lookup.h"
#include "qt/ports/quit_request.h"
#include "qt/ports/tcp_connect.h"

namespace cat {

namespace {

using std::chrono::milliseconds;

// ser2net hangs up at once when it cannot open its device; a connection up this long is real.
constexpr milliseconds kStaysUp{300};
// How long the watch keeps a connection it found up for the link to take over.
constexpr milliseconds kProbedConnectionKept{3000};

std::string TargetKey(const PortTarget& target) {
    return std::to_string(static_cast<int>(target.kind)) + target.host + ":" +
           std::to_string(target.port);
}

struct Parked {
    std::string key;
    ProbedConnection connection;
    SteadyTime at;
};
std::mutex parkedMutex;
std::optional<Parked> parked;

void DropParkedLocked() {
    if (parked) ::close(parked->connection.fd);
    parked.reset();
}

}  // namespace

std::optional<ProbedConnection> ProbeNetworkPort(const PortTarget& target, milliseconds timeout,
                                                 const std::string& firstBytes) {
    int fd = -1;
    try {
        fd = ConnectTo(target, timeout, {});
    } catch (const CatError&) {
        return std::nullopt;
    }
    // Sent once, without waiting: a connection that does not take them is no port for the link.
    if (!firstBytes.empty()) {
        [[maybe_unused]] const ssize_t n =
            ::send(fd, firstBytes.data(), firstBytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    }
    // ser2net takes the connection even when it cannot open its serial device, says so and
    // hangs up at once: only a connection that stays up counts.
    std::string received;
    const auto deadline = std::chrono::steady_clock::now() + kStaysUp;
    bool up = true;
    while (up && MillisecondsLeft(deadline) > 0) {
        if (WaitForDescriptor(fd, POLLIN, MillisecondsLeft(deadline)) != WaitResult::Ready)
            continue;
        char buffer[512];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0) received.append(buffer, static_cast<std::size_t>(n));
        up = n > 0 || (n < 0 && (errno == EAGAIN || errno == EINTR));
    }
    if (!up) {
        ::close(fd);
        return std::nullopt;
    }
    return ProbedConnection{fd, std::move(received)};
}

void KeepProbedConnection(const PortTarget& target, ProbedConnection connection) {
    std::lock_guard<std::mutex> lock(parkedMutex);
    DropParkedLocked();
    parked = Parked{TargetKey(target), std::move(connection), std::chrono::steady_clock::now()};
}

std::optional<ProbedConnection> TakeProbedConnection(const PortTarget& target) {
    std::lock_guard<std::mutex> lock(parkedMutex);
    if (!parked) return std::nullopt;
    if (parked->key != TargetKey(target) ||
        std::chrono::steady_clock::now() - parked->at > kProbedConnectionKept) {
        DropParkedLocked();
        return std::nullopt;
    }
    ProbedConnection taken = std::move(parked->connection);
    parked.reset();
    return taken;
}

void DiscardProbedConnection() {
    std::lock_guard<std::mutex> lock(parkedMutex);
    DropParkedLocked();
}

}  // namespace cat
