#include <QApplication>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "catlink_version.h"
#include "core/command_line.h"
#include "qt/close_on_signal.h"
#include "qt/frmcat.h"
#include "qt/instance_lock.h"
#include "qt/qt_settings_store.h"

namespace {

int RunWindow(const cat::CommandLine&, int& argc, char** argv) {
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

int PrintHelp(const cat::CommandLine&, int&, char**) {
    std::fputs(cat::HelpText().c_str(), stdout);
    return cat::kExitOk;
}

int PrintVersion(const cat::CommandLine&, int&, char**) {
    std::printf("catlink %s\n", CATLINK_VERSION);
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
};

constexpr bool EveryModeHasAHandler() {
    for (const cat::OptionSpec& option : cat::kOptions) {
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
