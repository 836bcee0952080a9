#pragma once

// Blocking waits on a port (for a reply, for bytes to leave, for a connection) also watch one
// descriptor that turns readable once the program has been asked to end (SIGTERM, SIGINT, SIGHUP),
// so no wait holds up the close: the event loop that closes the window runs at once.

namespace cat {

// -1 while nothing listens for those signals.
int QuitRequestFd();
void SetQuitRequestFd(int fd);

enum class WaitResult { Ready, TimedOut, QuitRequested, Failed };

// poll() on `fd` for `events` and on the quit request, at most `timeoutMs`; `revents` gets what
// `fd` reported when it is Ready.
WaitResult WaitForDescriptor(int fd, short events, int timeoutMs, short* revents = nullptr);

}  // namespace cat
