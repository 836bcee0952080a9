#include "qt/ports/port_list.h"

#include <QAbstractItemView>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QScrollBar>
#include <QSerialPortInfo>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <algorithm>

#include "core/text.h"
#include "qt/platform/qt_text.h"

namespace cat {

namespace {

// udev makes an adapter's device node and its links one after the other: one rescan after the
// burst is enough.
constexpr int kSettleMs = 150;

std::optional<std::string> Resolve(const std::string& path) {
    const QFileInfo info(Q(path));
    const QString target = info.canonicalFilePath();  // empty when it does not exist
    if (target.isEmpty()) return std::nullopt;
    return target.toStdString();
}

// The folder itself, or the nearest one above it that exists now.
QString ExistingFolder(QString folder) {
    while (!QFileInfo(folder).isDir() && folder != QDir::rootPath())
        folder = QFileInfo(folder).absolutePath();
    return folder;
}

}  // namespace

DeviceSnapshot TakeDeviceSnapshot(const QString& stableNameFolder) {
    DeviceSnapshot snapshot;
    snapshot.stableNameFolder = stableNameFolder.toStdString();
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        const std::optional<std::string> location = Resolve(info.systemLocation().toStdString());
        snapshot.devices.push_back({location.value_or(info.systemLocation().toStdString()),
                                    info.description().toStdString(),
                                    info.manufacturer().toStdString(),
                                    info.serialNumber().toStdString()});
    }
    const QDir folder(stableNameFolder);
    for (const QFileInfo& entry :
         folder.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name)) {
        const QString target = entry.canonicalFilePath();
        if (!target.isEmpty())
            snapshot.stableNames.push_back({entry.fileName().toStdString(), target.toStdString()});
    }
    snapshot.resolve = Resolve;
    return snapshot;
}

void ListPorts(SettingsStore& store, std::FILE* out, const QString& stableNameFolder) {
    DeviceSnapshot snapshot = TakeDeviceSnapshot(stableNameFolder);
    AssignNewAdapters(store, snapshot);
    const std::vector<PortRow> rows = DescribePorts(store, snapshot);
    std::vector<std::string> devices;
    for (const SerialDeviceInfo& info : snapshot.devices) devices.push_back(info.location);
    for (const PortRow& row : rows)
        if (row.present) devices.push_back(row.device);
    std::sort(devices.begin(), devices.end());
    devices.erase(std::unique(devices.begin(), devices.end()), devices.end());
    const std::vector<HostFinding> host = CheckHost(ThisProcessView(devices));
    std::fputs(PortTable(rows, snapshot, host).c_str(), out);
    // What each mark means, and what to do, once per finding.
    for (const HostFinding& f : host)
        std::fprintf(out, "host: %s: %s\n  Try: %s\n", f.device.c_str(), OneLine(f.text).c_str(),
                     OneLine(f.advice).c_str());
    std::fflush(out);
}

PortListWatch::PortListWatch(SettingsStore& store, QComboBox& list, const QString& stableNameFolder,
                             QObject* parent)
    : QObject(parent), store_(store), list_(list), stableNameFolder_(stableNameFolder) {
    settle_.setSingleShot(true);
    settle_.setInterval(kSettleMs);
    connect(&settle_, &QTimer::timeout, this, &PortListWatch::Refresh);
    connect(&folders_, &FolderWatch::Changed, &settle_, qOverload<>(&QTimer::start));
    list_.installEventFilter(this);
    connect(&list_, &QComboBox::currentIndexChanged, this, &PortListWatch::ShowTooltip);
    ShowTooltip();
    // Asking the system for its serial ports costs some milliseconds and a megabyte: not at
    // start, only when something changes or the operator looks.
    WatchFolders();
}

bool PortListWatch::eventFilter(QObject* watched, QEvent* event) {
    // The closed box is too narrow for a whole entry and keeps its size: it shows the number,
    // the open list and the tooltip say what it opens.
    if (watched == &list_ && event->type() == QEvent::Paint) {
        QStylePainter painter(&list_);
        QStyleOptionComboBox option;
        option.initFrom(&list_);
        option.frame = list_.hasFrame();
        const QString text = list_.currentText();
        option.currentText = text.left(text.indexOf(QLatin1String("  ")));
        painter.drawComplexControl(QStyle::CC_ComboBox, option);
        painter.drawControl(QStyle::CE_ComboBoxLabel, option);
        return true;
    }
    // Opening the list, or asking for the tooltip, shows what is there at that moment.
    if (watched == &list_) {
        const bool tip = event->type() == QEvent::ToolTip;
        const bool click = event->type() == QEvent::MouseButtonPress && list_.isEnabled();
        const bool key = event->type() == QEvent::KeyPress && list_.isEnabled() &&
                         (static_cast<QKeyEvent*>(event)->key() == Qt::Key_F4 ||
                          static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space ||
                          static_cast<QKeyEvent*>(event)->modifiers() & Qt::AltModifier);
        if (tip || click || key) Refresh();
    }
    return QObject::eventFilter(watched, event);
}

void PortListWatch::Refresh() {
    const DeviceSnapshot snapshot = TakeDeviceSnapshot(stableNameFolder_);
    AssignNewAdapters(store_, snapshot);
    rows_ = DescribePorts(store_, snapshot);
    int widest = 0;
    const QFontMetrics metrics(list_.view()->font());
    for (const PortRow& row : rows_) {
        const int position = row.number - 1;
        if (position >= list_.count()) break;
        const QString text = Q(PortEntryText(row));
        if (list_.itemText(position) != text) list_.setItemText(position, text);
        list_.setItemData(position, Q(PortRowTooltip(row)), Qt::ToolTipRole);
        widest = std::max(widest, metrics.horizontalAdvance(text));
    }
    // The box keeps its place and size in the window; the open list is as wide as its entries.
    list_.view()->setMinimumWidth(widest + 2 * metrics.averageCharWidth() +
                                  list_.view()->verticalScrollBar()->sizeHint().width());
    WatchFolders();
    ShowTooltip();
    emit Refreshed();
}

QString PortListWatch::Tooltip(int position) const {
    if (position < 0 || position >= static_cast<int>(rows_.size())) return {};
    return Q(PortRowTooltip(rows_[position]));
}

void PortListWatch::ShowTooltip() {
    // Before the first refresh the store alone says what the entry opens.
    const int position = list_.currentIndex();
    const QString named = Tooltip(position);
    list_.setToolTip(position < 0 ? QString()
                     : !named.isEmpty()
                         ? named
                         : Q(PortTooltip(store_, static_cast<std::int16_t>(position + 1))));
}

void PortListWatch::WatchFolders() {
    QStringList wanted = {ExistingFolder(QStringLiteral("/dev")),
                          ExistingFolder(stableNameFolder_)};
    for (const PortRow& row : rows_)
        if (row.mapped && row.target && row.target->kind == PortKind::Device)
            wanted << ExistingFolder(QFileInfo(Q(row.opens)).absolutePath());
    wanted.removeDuplicates();
    folders_.Set(wanted);
}

}  // namespace cat
