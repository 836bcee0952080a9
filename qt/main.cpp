#include <QApplication>

#include "qt/close_on_signal.h"
#include "qt/frmcat.h"
#include "qt/instance_lock.h"
#include "qt/qt_settings_store.h"

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
