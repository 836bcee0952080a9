#include "qt/ports/name_lookup.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "core/comm_errors.h"
#include "qt/ports/quit_request.h"

namespace cat {

namespace {

using std::chrono::milliseconds;

// Abandoned lookups keep their thread until the resolver gives up; never let them pile up.
constexpr int kMostLookupsAtOnce = 4;

// One getaddrinfo call, shared by the thread that makes it and the caller that waits for it.
struct PendingLookup {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    bool abandoned = false;
    int status = 0;
    addrinfo* list = nullptr;
};

std::atomic<int> lookupsRunning{0};

void StartLookup(const std::shared_ptr<PendingLookup>& job, const PortTarget& target) {
    ++lookupsRunning;
    std::thread([job, host = target.host, service = std::to_string(target.port)] {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_flags = AI_NUMERICSERV;
        addrinfo* list = nullptr;
        const int status = getaddrinfo(host.c_str(), service.c_str(), &hints, &list);
        std::lock_guard<std::mutex> lock(job->mutex);
        --lookupsRunning;
        if (job->abandoned) {
            if (list) freeaddrinfo(list);
            return;
        }
        job->status = status;
        job->list = list;
        job->finished = true;
        job->done.notify_all();
    }).detach();
}

}  // namespace

int MillisecondsLeft(SteadyTime deadline) {
    const auto left =
        std::chrono::duration_cast<milliseconds>(deadline - std::chrono::steady_clock::now())
            .count();
    return static_cast<int>(std::clamp<long long>(left, 0, 1 << 30));
}

void AddressListFree::operator()(addrinfo* list) const {
    if (list) freeaddrinfo(list);
}

AddressList LookUpAddresses(const PortTarget& target, SteadyTime deadline,
                            const std::string& label) {
    const std::string where = HostAndPort(target);
    if (lookupsRunning.load() >= kMostLookupsAtOnce)
        throw CommError(CommFault::NoAnswer, label, where, "the name server does not answer");
    auto job = std::make_shared<PendingLookup>();
    StartLookup(job, target);

    std::unique_lock<std::mutex> lock(job->mutex);
    // Slices, so that a request to close is seen while the resolver takes its time.
    while (!job->finished) {
        const bool quit = WaitForDescriptor(-1, 0, 0) == WaitResult::QuitRequested;
        if (quit || std::chrono::steady_clock::now() >= deadline) {
            job->abandoned = true;
            throw CommError(CommFault::NoAnswer, label, where, "the name server did not answer");
        }
        job->done.wait_for(
            lock,
            std::min<milliseconds>(milliseconds(50), milliseconds(MillisecondsLeft(deadline) + 1)));
    }
    if (job->status == EAI_AGAIN)
        throw CommError(CommFault::NoAnswer, label, where, gai_strerror(job->status));
    if (job->status != 0)
        throw CommError(CommFault::HostNotFound, label, target.host, gai_strerror(job->status));
    return AddressList(job->list);
}

}  // namespace cat
