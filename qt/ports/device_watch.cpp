#include "qt/ports/device_watch.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "core/port_names.h"
#include "qt/ports/parked_connections.h"

namespace cat {

// Shared by the watch and its probing thread; the thread outlives a watch that stops, and only
// reports while the watch still wants it (under the mutex, so the watch cannot go meanwhile).
struct DeviceWatch::Probe {
    std::mutex mutex;
    std::condition_variable wake;
    DeviceWatch* owner = nullptr;
};

DeviceWatch::DeviceWatch(QObject* parent) : QObject(parent) {
    connect(&folders_, &FolderWatch::Changed, this, &DeviceWatch::Recheck);
}

DeviceWatch::~DeviceWatch() { Stop(); }

void DeviceWatch::Stop() {
    ++generation_;
    if (probe_) {
        std::lock_guard<std::mutex> lock(probe_->mutex);
        probe_->owner = nullptr;
        probe_->wake.notify_all();
    }
    probe_.reset();
    folders_.Set({});
    path_.clear();
    identity_.reset();
    present_ = false;
}

void DeviceWatch::Watch(const std::string& device, const std::string& firstBytes) {
    Stop();
    const std::optional<PortTarget> target = ParsePortTarget(device);
    if (!target) return;  // a malformed network address never appears
    if (target->kind != PortKind::Device) {
        probe_ = std::make_shared<Probe>();
        probe_->owner = this;
        std::thread([probe = probe_, target = *target, firstBytes] {
            ProbeUntilUp(probe, target, firstBytes);
        }).detach();
        return;
    }
    path_ = QString::fromStdString(device);
    identity_ = Look();
    present_ = identity_.has_value();
    WatchFolders();
}

// On the probing thread: a connection every interval until one stays up (kept for the link to
// take over, and Appeared queued to the watch) or the watch no longer wants it.
void DeviceWatch::ProbeUntilUp(const std::shared_ptr<Probe>& probe, const PortTarget& target,
                               const std::string& firstBytes) {
    const auto interval = std::chrono::milliseconds(kProbeIntervalMs);
    for (;;) {
        std::optional<ProbedConnection> connection =
            ProbeNetworkPort(target, interval, target.kind == PortKind::Rfc2217 ? firstBytes : "");
        std::unique_lock<std::mutex> lock(probe->mutex);
        if (!probe->owner) {
            if (connection) ::close(connection->fd);
            return;
        }
        if (connection) {
            KeepProbedConnection(target, std::move(*connection));
            QMetaObject::invokeMethod(
                probe->owner,
                [owner = probe->owner, probe] {
                    if (owner->probe_ != probe) return;  // re-aimed meanwhile
                    owner->probe_.reset();
                    owner->present_ = true;
                    emit owner->Appeared();
                },
                Qt::QueuedConnection);
            probe->owner = nullptr;
            return;
        }
        probe->wake.wait_for(lock, interval, [&] { return !probe->owner; });
        if (!probe->owner) return;
    }
}

std::optional<DeviceWatch::Identity> DeviceWatch::Look() const {
    struct stat st {};
    if (::stat(path_.toLocal8Bit().constData(), &st) != 0) return std::nullopt;
    return Identity{static_cast<unsigned long long>(st.st_rdev ? st.st_rdev : st.st_dev),
                    static_cast<unsigned long long>(st.st_ino)};
}

// The folder that holds the path, or the nearest one above it that exists (/dev/serial/by-id
// itself goes when the last USB adapter is unplugged).
void DeviceWatch::WatchFolders() {
    QString folder = QFileInfo(path_).absolutePath();
    while (!QFileInfo(folder).isDir() && folder != QDir::rootPath())
        folder = QFileInfo(folder).absolutePath();
    folders_.Set({folder});
}

void DeviceWatch::Recheck() {
    if (path_.isEmpty()) return;
    WatchFolders();
    const std::optional<Identity> now = Look();
    if (now == identity_) return;
    const bool was = identity_.has_value();
    identity_ = now;
    present_ = now.has_value();
    // A receiver may stop or re-aim the watch from inside a signal.
    const int generation = generation_;
    if (was) emit Vanished();
    if (now && generation == generation_ && NamesTheSameDeviceWhenBack(path_.toStdString()))
        emit Appeared();
}

}  // namespace cat
