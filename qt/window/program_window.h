#pragma once

// The program's one window as start-up meets it: a widget to show, to close on a signal and to
// raise when a second copy asks. What it is made of lives in qt/window/, which builds on the rest
// of the shell; start-up depends on this declaration only, so the shell does not depend back on it.

#include <QWidget>
#include <memory>

#include "core/settings_store.h"

namespace cat {

std::unique_ptr<QWidget> MakeProgramWindow(SettingsStore& store);

}  // namespace cat
