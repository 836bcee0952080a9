#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>

class QWidget;

namespace cat {

// SIGTERM, SIGINT and SIGHUP (logout, a terminal closed, a service stop) close the window the way
// the close box does, so the operator's choices are saved instead of lost.
class CloseOnSignal : public QObject {
    Q_OBJECT

public:
    explicit CloseOnSignal(QWidget& window);
    ~CloseOnSignal() override;

private:
    QWidget& window_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace cat
