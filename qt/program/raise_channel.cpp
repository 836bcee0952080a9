#include "qt/program/raise_channel.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>

namespace cat {

namespace {

constexpr char kRequest[] = "raise\n";
constexpr char kReply[] = "raised\n";
// A client writes its request right after connecting; one that does not is not waited for long.
constexpr int kRequestWaitMs = 500;
constexpr int kRequestsWaiting = 4;

// False when the path does not fit a socket address (a very deep home folder): the copy then runs
// without the channel.
bool Address(const QByteArray& path, sockaddr_un& address) {
    address = {};
    address.sun_family = AF_UNIX;
    if (path.isEmpty() || std::size_t(path.size()) >= sizeof(address.sun_path)) return false;
    std::memcpy(address.sun_path, path.constData(), std::size_t(path.size()));
    return true;
}

bool SameUser(int fd) {
    ucred peer{};
    socklen_t size = sizeof(peer);
    return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == ::getuid();
}

// The asking copy's side: reads until `expected` is complete or `timeoutMs` passes.
bool Receive(int fd, const char* expected, int timeoutMs) {
    const std::size_t length = std::strlen(expected);
    std::string got;
    while (got.size() < length) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0) return false;
        char buffer[16];
        const ssize_t n = ::read(fd, buffer, sizeof(buffer));
        if (n <= 0) return false;
        got.append(buffer, std::size_t(n));
    }
    return got.compare(0, length, expected) == 0;
}

bool Send(int fd, const char* text) {
    const std::size_t length = std::strlen(text);
    return ::send(fd, text, length, MSG_NOSIGNAL) == ssize_t(length);
}

}  // namespace

QString RaiseChannelPath(const QString& lockPath) {
    return QFileInfo(lockPath).absolutePath() + QStringLiteral("/catlink-") +
           QSysInfo::machineHostName() + QStringLiteral(".socket");
}

bool AskRunningCopyToRaise(const QString& socketPath, int timeoutMs) {
    sockaddr_un address;
    if (!Address(QFile::encodeName(socketPath), address)) return false;
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0) return false;
        // A full backlog makes a non-blocking connect fail at once instead of hanging.
        const bool connected =
            ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
        const bool raised = connected && SameUser(fd) && Send(fd, kRequest) &&
                            Receive(fd, kReply, static_cast<int>(deadline.remainingTime()));
        ::close(fd);
        // A copy that has just taken the lock opens its socket once its window exists: until
        // then, ask again rather than take it for one that cannot answer.
        if (raised || connected || deadline.hasExpired()) return raised;
        QThread::msleep(50);
    }
}

RaiseListener::RaiseListener(const QString& socketPath, QWidget& window)
    : window_(window), path_(QFile::encodeName(socketPath)) {
    sockaddr_un address;
    if (!Address(path_, address)) return;
    fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd_ < 0) return;
    // A socket file outlives a copy that crashed. Only the lock's holder, or a copy that has just
    // found no one answering there, gets here, so the file is no one's.
    ::unlink(path_.constData());
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::chmod(path_.constData(), S_IRUSR | S_IWUSR) != 0 ||
        ::listen(fd_, kRequestsWaiting) != 0) {
        ::close(fd_);
        fd_ = -1;
        return;
    }
    notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &RaiseListener::Answer);
}

RaiseListener::~RaiseListener() {
    notifier_.reset();
    if (fd_ < 0) return;
    ::close(fd_);
    ::unlink(path_.constData());
}

namespace {

// One client's request, read as it comes, so a client that writes slowly or not at all never
// holds up the window; it is dropped when its time is up.
class Request : public QObject {
public:
    Request(int fd, QObject* parent, std::function<void()> raise)
        : QObject(parent),
          fd_(fd),
          notifier_(fd, QSocketNotifier::Read, this),
          raise_(std::move(raise)) {
        connect(&notifier_, &QSocketNotifier::activated, this, &Request::Read);
        deadline_.setSingleShot(true);
        connect(&deadline_, &QTimer::timeout, this, &Request::Drop);
        deadline_.start(kRequestWaitMs);
    }
    ~Request() override { ::close(fd_); }

private:
    void Read() {
        char buffer[16];
        const ssize_t n = ::read(fd_, buffer, sizeof(buffer));
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
        if (n > 0) got_.append(buffer, std::size_t(n));
        const std::string_view request(kRequest);
        const std::size_t compared = std::min(got_.size(), request.size());
        if (n <= 0 || got_.compare(0, compared, request.substr(0, compared)) != 0) return Drop();
        if (compared < request.size()) return;
        raise_();
        Send(fd_, kReply);
        Drop();
    }

    // Deleted later: this may run from the notifier's or the timer's own signal.
    void Drop() {
        notifier_.setEnabled(false);
        deadline_.stop();
        deleteLater();
    }

    int fd_;
    QSocketNotifier notifier_;
    QTimer deadline_;
    std::string got_;
    std::function<void()> raise_;
};

}  // namespace

void RaiseListener::Answer() {
    const int client = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (client < 0) return;
    // As many requests wait at once as the socket's backlog holds; anyone else is not our user or
    // is flooding us.
    const auto waiting = findChildren<Request*>(Qt::FindDirectChildrenOnly).size();
    if (!SameUser(client) || waiting >= kRequestsWaiting) {
        ::close(client);
        return;
    }
    new Request(client, this, [this] {
        window_.show();
        window_.setWindowState((window_.windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
        window_.raise();
        window_.activateWindow();
    });
}

}  // namespace cat
