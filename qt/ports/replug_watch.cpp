#include "qt/ports/replug_watch.h"

#include "core/comm_errors.h"
#include "core/port_names.h"
#include "qt/ports/network_transport.h"
#include "qt/ports/parked_connections.h"
#include "qt/ports/qt_comm_port.h"

namespace cat {

namespace {

// A device that is there but does not open yet (udev still setting its permissions, a radio
// still starting up) is tried again at growing intervals: never a loop, never a CPU burst.
constexpr int kFirstRetryMs = 250;
constexpr int kLongestRetryMs = 5000;

}  // namespace

ReplugWatch::ReplugWatch(QtCommPort& port, std::function<void(bool)> open,
                         std::function<void()> close, QObject* parent)
    : QObject(parent), port_(port), open_(std::move(open)), close_(std::move(close)) {
    retry_.setSingleShot(true);
    connect(&retry_, &QTimer::timeout, this, &ReplugWatch::TryReopen);
    connect(&watch_, &DeviceWatch::Appeared, this, [this] {
        retryMs_ = 0;
        TryReopen();
    });
    connect(&watch_, &DeviceWatch::Vanished, this, [this] {
        if (supervisor_.Status().state != LinkState::Open) return;
        Lost(QString::fromStdString(
            CommErrorText(CommFault::DeviceLost, PortLabel(port_.PortNumber(), Device()), {}, {})));
    });
    connect(&port_, &QtCommPort::PortLost, this, &ReplugWatch::Lost);
}

void ReplugWatch::Tick() {
    retry_.stop();
    retryMs_ = 0;
    supervisor_.Ticked();
    // Absent at the tick: a path that is there but failed is tried again later.
    if (supervisor_.Status().state == LinkState::WaitingForDevice) RetryLater();
}

void ReplugWatch::Untick() {
    retry_.stop();
    supervisor_.Unticked();
}

void ReplugWatch::Lost(const QString& description) {
    if (supervisor_.Status().state != LinkState::Open) return;
    const QString device = QString::fromStdString(supervisor_.Status().device);
    supervisor_.DeviceLost(description.toStdString());
    emit DeviceLost(device, description);
    retryMs_ = 0;
    RetryLater();
}

void ReplugWatch::TryReopen() {
    if (supervisor_.Status().state != LinkState::WaitingForDevice) return;
    const bool reopened = supervisor_.DeviceAppeared();
    // A connection the probe kept and the open did not take would hold the far end's port.
    DiscardProbedConnection();
    if (reopened) {
        retryMs_ = 0;
        emit Reopened(QString::fromStdString(supervisor_.Status().device));
        return;
    }
    RetryLater();
}

void ReplugWatch::RetryLater() {
    if (supervisor_.Status().state != LinkState::WaitingForDevice) return;
    const std::optional<PortTarget> target = ParsePortTarget(supervisor_.Status().device);
    if (target && target->kind != PortKind::Device) {
        // The probe tries the network port in the background and says when it answers.
        if (!watch_.Probing()) watch_.Watch(supervisor_.Status().device, LinesFirst());
        return;
    }
    // A path that is absent comes back through a folder notice; only one that is there and
    // does not open is tried on a timer.
    if (!watch_.Present() || !NamesTheSameDeviceWhenBack(supervisor_.Status().device)) return;
    retryMs_ = retryMs_ == 0 ? kFirstRetryMs : std::min(retryMs_ * 2, kLongestRetryMs);
    retry_.start(retryMs_);
}

void ReplugWatch::OpenPort() {
    // After a loss the link reopens with the same choices; what was half received from the
    // vanished device belongs to no reply.
    open_(supervisor_.Status().state == LinkState::WaitingForDevice &&
          supervisor_.Status().reason == WaitReason::Lost);
}

void ReplugWatch::ClosePort() { close_(); }

std::string ReplugWatch::Device() { return port_.DeviceName(); }

void ReplugWatch::Watch(const std::string& device) { watch_.Watch(device, LinesFirst()); }

// A network port's probe holds the far end's device open, its lines raised, until the link takes
// the connection over: it sets them as the link will.
std::string ReplugWatch::LinesFirst() const {
    return NetworkTransport::LinesFirst(port_.ControlLines(), port_.CurrentHandshake());
}

void ReplugWatch::StopWatching() {
    retry_.stop();
    watch_.Stop();
    DiscardProbedConnection();
}

void ReplugWatch::StatusChanged(const LinkStatus& status) {
    emit LinkStatusChanged(status);
    if (status.state == LinkState::WaitingForDevice)
        emit WaitingForDevice(QString::fromStdString(status.device));
}

}  // namespace cat
