#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QString>
#include <memory>

class QWidget;

namespace cat {

// How a second copy asks the running one to bring its window to the front: a Unix-domain socket
// beside the lock file, watched by the event loop. Plain sockets keep the network and bus modules
// out of every start.

// The socket beside `lockPath`. Its name carries the host's, so computers that share a home folder
// do not take each other's socket.
QString RaiseChannelPath(const QString& lockPath);

// The second copy's side: true once the running copy says its window is at the front; false when
// no copy listens or none answers within `timeoutMs`.
bool AskRunningCopyToRaise(const QString& socketPath, int timeoutMs);

// The running copy's side: brings `window` to the front (out of the minimised state, raised and
// activated) when another copy of the same user asks.
class RaiseListener : public QObject {
    Q_OBJECT

public:
    RaiseListener(const QString& socketPath, QWidget& window);
    ~RaiseListener() override;
    bool Listening() const { return fd_ >= 0; }

private:
    void Answer();

    QWidget& window_;
    QByteArray path_;
    int fd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace cat
