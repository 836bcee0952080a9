#pragma once

#include <QIcon>

namespace cat {

// Small pictures drawn for this program.
QIcon WindowIcon();  // the program's picture (qt/window_picture.h)
QIcon HelpIcon();    // a question mark in a blue disc

}  // namespace cat
