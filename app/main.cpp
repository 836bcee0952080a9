#include <QApplication>

#include "app/close_on_signal_qt.h"
#include "app/frmcat_qt.h"
#include "app/instance_lock_qt.h"
#include "app/settings_store_qt.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("CAT"));

    // A second copy ends here, before it reads a setting or shows a window.
    cat::InstanceLock lock;
    if (!lock.Acquired()) return 0;

    cat::QtSettingsStore store;
    cat::frmCAT window(store);
    cat::CloseOnSignal closeOnSignal(window);
    window.show();
    return app.exec();
}
