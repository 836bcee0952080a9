#include "qt/ports/last_words.h"

#include <signal.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstring>

namespace cat {

namespace {

// Read by the signal handler: plain storage, published through the atomic descriptor.
std::array<char, kLastWordsLimit> words{};
std::size_t wordsSize = 0;
std::atomic<int> wordsFd{-1};
bool handlersInstalled = false;

constexpr std::array<int, 6> kFatalSignals{SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGILL, SIGQUIT};

// Only async-signal-safe calls: write, then die of the same signal with its default action.
void SayLastWords(int signal) {
    const int fd = wordsFd.exchange(-1);
    if (fd >= 0) {
        [[maybe_unused]] const ssize_t n = ::write(fd, words.data(), wordsSize);
    }
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

void InstallHandlers() {
    if (handlersInstalled) return;
    handlersInstalled = true;
    struct sigaction action {};
    action.sa_handler = SayLastWords;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    for (int s : kFatalSignals) sigaction(s, &action, nullptr);
}

}  // namespace

bool ArmLastWords(int fd, std::string_view bytes) {
    DisarmLastWords();
    if (fd < 0 || bytes.empty() || bytes.size() > words.size()) return false;
    InstallHandlers();
    std::memcpy(words.data(), bytes.data(), bytes.size());
    wordsSize = bytes.size();
    wordsFd.store(fd);
    return true;
}

std::string ArmUnkey(int fd, std::string_view bytes) {
    if (ArmLastWords(fd, bytes)) return {};
    std::string why = bytes.empty() ? "this radio has no unkey command"
                      : fd < 0
                          ? "the port gives no handle to write it through"
                          : "its " + std::to_string(bytes.size()) + " bytes are more than the " +
                                std::to_string(kLastWordsLimit) + " kept for it";
    return "Not keyed: the unkey could not be made ready for a crash of this program (" + why +
           "), which would leave the radio transmitting.";
}

void DisarmLastWords() { wordsFd.store(-1); }

bool LastWordsArmed() { return wordsFd.load() >= 0; }

}  // namespace cat
