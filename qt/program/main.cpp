#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "shell/command_line.h"
#include "qt/catlink_version.h"
#include "qt/program/close_on_signal.h"
#include "qt/program/doctor_command.h"
#include "qt/program/instance_lock.h"
#include "qt/ports/port_list.h"
#include "qt/window/program_window.h"
#include "qt/platform/qt_settings_store.h"
#include "qt/program/raise_channel.h"

namespace {

// How long a second copy waits for the running one to say its window is at the front.
constexpr int kRaiseAnswerMs = 2000;

void Say(const QString& text) { std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData()); }

// A box is shown only where someone can see it: a desktop session, not a terminal over SSH nor
// the offscreen platform the tests use.
bool HasDisplay() {
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (platform.startsWith("offscreen") || platform.startsWith("minimal")) return false;
    return !platform.isEmpty() || qEnvironmentVariableIsSet("DISPLAY") ||
           qEnvironmentVariableIsSet("WAYLAND_DISPLAY");
}

// Without any of these Qt's default platform cannot start, and it aborts with a core dump.
bool WindowSystemNamed(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::string_view(argv[i]) == "-platform") return true;
    return qEnvironmentVariableIsSet("QT_QPA_PLATFORM") || qEnvironmentVariableIsSet("DISPLAY") ||
           qEnvironmentVariableIsSet("WAYLAND_DISPLAY");
}

int RunWindow(const cat::CommandLine&, int& argc, char** argv) {
    // A second copy ends here, before it reads a setting or shows a window.
    cat::InstanceLock lock;
    const QString channel = cat::RaiseChannelPath(lock.Path());
    const bool running = lock.Result() == cat::InstanceLock::Outcome::RunningCopy;
    bool answered = false;
    if (running) {
        answered = cat::AskRunningCopyToRaise(channel, kRaiseAnswerMs);
    } else if (lock.Result() == cat::InstanceLock::Outcome::WithoutLock) {
        // Without the lock, a copy that answers on the socket is running all the same.
        answered = cat::AskRunningCopyToRaise(channel, kRaiseAnswerMs / 4);
    }
    if (running || answered) {
        QString text = QStringLiteral("CAT is already running");
        if (running) text += QStringLiteral(" (process %1)").arg(lock.OwnerPid());
        Say(text + (answered ? QStringLiteral("; its window was brought to the front.")
                             : QStringLiteral(".")));
        return cat::kExitAlreadyRunning;
    }
    if (lock.Result() == cat::InstanceLock::Outcome::Blocked) {
        Say(lock.Problem());
        if (HasDisplay()) {
            QApplication app(argc, argv);
            QMessageBox::critical(nullptr, QStringLiteral("CAT"), lock.Problem());
        }
        return cat::kExitCannotStart;
    }
    if (!WindowSystemNamed(argc, argv)) {
        Say(QStringLiteral(
            "CAT opens a window, and there is no display here (DISPLAY and WAYLAND_DISPLAY are "
            "not set): start it from a desktop session. catlink --help works anywhere."));
        return cat::kExitCannotStart;
    }
    if (lock.Result() == cat::InstanceLock::Outcome::WithoutLock) Say(lock.Problem());

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("CAT"));
    QGuiApplication::setDesktopFileName(QStringLiteral(CATLINK_APP_ID));
    cat::QtSettingsStore store;
    if (const QString problem = store.LoadProblem(); !problem.isEmpty()) Say(problem);
    const std::unique_ptr<QWidget> window = cat::MakeProgramWindow(store);
    cat::CloseOnSignal closeOnSignal(*window);
    cat::RaiseListener raiseListener(channel, *window);
    window->show();
    return app.exec();
}

int PrintHelp(const cat::CommandLine&, int&, char**) {
    std::fputs(cat::HelpText().c_str(), stdout);
    return cat::kExitOk;
}

int PrintVersion(const cat::CommandLine&, int&, char**) {
    std::printf("catlink %s\n", CATLINK_VERSION);
    return cat::kExitOk;
}

int PrintPorts(const cat::CommandLine&, int& argc, char** argv) {
    QCoreApplication app(argc, argv);
    cat::QtSettingsStore store;
    if (const QString problem = store.LoadProblem(); !problem.isEmpty()) Say(problem);
    cat::ListPorts(store, stdout);
    return cat::kExitOk;
}

// What each mode of the option table does; the window when no mode was given.
struct Handler {
    std::string_view mode;
    int (*run)(const cat::CommandLine&, int& argc, char** argv);
};
constexpr Handler kHandlers[] = {
    {"", RunWindow},
    {cat::kHelpMode, PrintHelp},
    {cat::kVersionMode, PrintVersion},
    {cat::kDoctorMode, cat::RunDoctor},
    {cat::kListPortsMode, PrintPorts},
};

constexpr bool EveryModeHasAHandler() {
    for (const cat::CommandOption& option : cat::kOptions) {
        bool found = option.kind != cat::OptionKind::Mode;
        for (const Handler& handler : kHandlers) found = found || handler.mode == option.name;
        if (!found) return false;
    }
    return true;
}
static_assert(EveryModeHasAHandler(), "an option of kind Mode has no row in kHandlers");

}  // namespace

int main(int argc, char** argv) {
    // Read before any QApplication exists, so that a terminal without a display gets its answer.
    const std::vector<std::string> args(argv + 1, argv + argc);
    const cat::CommandLine command = cat::ParseCommandLine(args);
    if (!command.error.empty()) {
        std::fputs(cat::UsageErrorLine(command.error).c_str(), stderr);
        return cat::kExitUsage;
    }
    for (const Handler& handler : kHandlers)
        if (handler.mode == command.mode) return handler.run(command, argc, argv);
    return cat::kExitUsage;
}
