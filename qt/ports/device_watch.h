#pragma once

#include <QObject>
#include <QString>
#include <memory>
#include <optional>
#include <string>

#include "core/port_names.h"
#include "qt/ports/folder_watch.h"

namespace cat {

// Tells when the device a link opens goes away and when it is there again. A device path is
// followed through the change notices of the folder that holds it (inotify, see FolderWatch): no
// polling, no CPU while nothing changes. A path that now stands for
// another device (a link re-created to a new pseudo-terminal) counts as gone and back; a
// pseudo-terminal's own name never comes back (see NamesTheSameDeviceWhenBack).
//
// A network port sends no notices: while it is awaited, a connection is tried every second on a
// thread of its own, so the window never waits on the network.
class DeviceWatch : public QObject {
    Q_OBJECT

public:
    explicit DeviceWatch(QObject* parent = nullptr);
    ~DeviceWatch() override;

    // Starts watching `device` (a path or a network address, as DeviceForPort gives it); a
    // network port is tried until it answers, then Appeared is emitted once; `firstBytes` go
    // out on each try's connection as soon as it is made (the lines a link sets, see
    // NetworkTransport::LinesFirst).
    void Watch(const std::string& device, const std::string& firstBytes = {});
    void Stop();
    // A path: whether it is there now. A network port: whether the last try found it.
    bool Present() const { return present_; }
    // Trying a network port now.
    bool Probing() const { return probe_ != nullptr; }

    // Seconds between two tries of a network port.
    static constexpr int kProbeIntervalMs = 1000;

signals:
    void Appeared();
    void Vanished();

private:
    struct Probe;
    struct Identity {
        unsigned long long device = 0;
        unsigned long long inode = 0;
        bool operator==(const Identity&) const = default;
    };
    static void ProbeUntilUp(const std::shared_ptr<Probe>& probe, const PortTarget& target,
                             const std::string& firstBytes);
    void Recheck();
    void WatchFolders();
    std::optional<Identity> Look() const;

    QString path_;
    FolderWatch folders_;
    std::optional<Identity> identity_;
    bool present_ = false;
    int generation_ = 0;
    std::shared_ptr<Probe> probe_;
};

}  // namespace cat
