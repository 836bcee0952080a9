#include "qt/ports/quit_request.h"

#include <poll.h>

#include <atomic>
#include <cerrno>

namespace cat {

namespace {
std::atomic<int> quitFd{-1};
}

int QuitRequestFd() { return quitFd.load(); }

void SetQuitRequestFd(int fd) { quitFd.store(fd); }

WaitResult WaitForDescriptor(int fd, short events, int timeoutMs, short* revents) {
    pollfd fds[2] = {{fd, events, 0}, {QuitRequestFd(), POLLIN, 0}};
    const nfds_t count = fds[1].fd >= 0 ? 2 : 1;
    const int ready = ::poll(fds, count, timeoutMs < 0 ? 0 : timeoutMs);
    if (ready < 0) return errno == EINTR ? WaitResult::TimedOut : WaitResult::Failed;
    if (count == 2 && (fds[1].revents & POLLIN)) return WaitResult::QuitRequested;
    if (ready == 0) return WaitResult::TimedOut;
    if (revents) *revents = fds[0].revents;
    return WaitResult::Ready;
}

}  // namespace cat
