#pragma once

// The operator's stored choices and the window's controls, both ways: shown at start, read back
// at shut-down.

#include "qt/window/window_layout.h"
#include "shell/startup.h"

namespace cat {

// Fills the port and mode lists, then selects what the store holds, so a stored position finds
// its entry. The window's place and the on-top button are the window's own to set.
void ShowChoices(const WindowControls& controls, const RestoredChoices& choices);

// What the controls show and where the window's frame is, for the store at shut-down.
ChoicesToSave ChoicesShown(const QWidget& window, const WindowControls& controls);

}  // namespace cat
