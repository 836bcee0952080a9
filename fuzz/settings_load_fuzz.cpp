// A settings file as anyone may leave it: every byte sequence is written to the file and loaded
// the way the program starts, then read for the window's choices, the port list, each port's
// device, tooltip and handshake.
#include <QFile>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>

#include "core/handshake.h"
#include "shell/port_catalog.h"
#include "core/port_names.h"
#include "shell/startup.h"
#include "qt/platform/qt_settings_store.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("CAT.ini"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 0;
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    cat::QtSettingsStore store(path);
    cat::RestoreChoices(store);
    cat::DeviceSnapshot snapshot;
    snapshot.resolve = [](const std::string&) { return std::optional<std::string>(); };
    cat::DescribePorts(store, snapshot);
    for (std::int16_t port = 0; port <= 33; ++port) {
        cat::DeviceForPort(store, port);
        cat::PortTooltip(store, port);
        cat::HandshakeFor(store, port, port % 2 == 0);
    }
    return 0;
}
