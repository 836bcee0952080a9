#pragma once

#include <QComboBox>
#include <QObject>
#include <QTimer>
#include <cstdio>
#include <vector>

#include "core/settings_store.h"
#include "qt/ports/folder_watch.h"
#include "shell/port_catalog.h"

namespace cat {

// What this computer has now: the serial library's list of ports, the adapters' stable names
// in `stableNameFolder`, and a resolver that follows links.
DeviceSnapshot TakeDeviceSnapshot(const QString& stableNameFolder = kStableNameFolder);

// The table `catlink --list-ports` prints: Com number, device, by-id name, description. New
// adapters get their numbers first, as the window would give them.
void ListPorts(SettingsStore& store, std::FILE* out,
               const QString& stableNameFolder = kStableNameFolder);

// Keeps the window's port list saying what each Com N opens, while the window is up: entries
// follow plugging and unplugging (change notices of /dev, the by-id folder and the folders of
// mapped paths, no polling), new adapters get their numbers, and the list is brought up to date
// when the operator opens it or asks for its tooltip. Nothing is asked of the system at start.
// Positions never move, so the stored choice keeps its meaning. The closed list's tooltip says
// what the chosen entry opens.
class PortListWatch : public QObject {
    Q_OBJECT

public:
    PortListWatch(SettingsStore& store, QComboBox& list,
                  const QString& stableNameFolder = kStableNameFolder, QObject* parent = nullptr);

    void Refresh();
    // The entry's tooltip; empty before the first refresh.
    QString Tooltip(int position) const;

signals:
    void Refreshed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void WatchFolders();
    void ShowTooltip();

    SettingsStore& store_;
    QComboBox& list_;
    QString stableNameFolder_;
    std::vector<PortRow> rows_;
    FolderWatch folders_;
    QTimer settle_;
};

}  // namespace cat
