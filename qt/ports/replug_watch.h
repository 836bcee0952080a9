#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

#include "link/link_supervisor.h"
#include "qt/ports/device_watch.h"

namespace cat {

class QtCommPort;

// The window's side of the link supervisor: "Open" goes through it, it watches the device of a
// ticked link, closes the port at once when the device goes and reopens the link with the same
// settings when it is back. The window connects to its signals to tell the operator.
class ReplugWatch : public QObject, private LinkShell {
    Q_OBJECT

public:
    // `open` opens the link with the last tick's choices (OpenLink), `afterLoss` when it reopens
    // a link whose device went away; `close` closes it (CloseLink). Both may raise CatError.
    ReplugWatch(QtCommPort& port, std::function<void(bool afterLoss)> open,
                std::function<void()> close, QObject* parent = nullptr);

    // "Open" ticked: the link opens, or waits for an absent device. Other failures are raised
    // (CatError) for the window to report.
    void Tick();
    // "Open" unticked: closes the link and stops waiting.
    void Untick();

    const LinkStatus& Status() const { return supervisor_.Status(); }

signals:
    // Every change of state or of what the wait is about.
    void LinkStatusChanged(const cat::LinkStatus& status);
    // The open link's device went away (unplugged, switched off, the connection dropped).
    void DeviceLost(const QString& device, const QString& description);
    // Waiting for `device` to be plugged in, switched on or answer again.
    void WaitingForDevice(const QString& device);
    // The link opened again by itself.
    void Reopened(const QString& device);

private:
    void OpenPort() override;
    void ClosePort() override;
    std::string Device() override;
    void Watch(const std::string& device) override;
    void StopWatching() override;
    void StatusChanged(const LinkStatus& status) override;

    std::string LinesFirst() const;
    void Lost(const QString& description);
    void TryReopen();
    void RetryLater();

    QtCommPort& port_;
    std::function<void(bool)> open_;
    std::function<void()> close_;
    DeviceWatch watch_;
    LinkSupervisor supervisor_{*this};
    QTimer retry_;
    int retryMs_ = 0;
    bool reopening_ = false;
};

}  // namespace cat
