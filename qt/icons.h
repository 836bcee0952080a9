#pragma once

#include <QIcon>

namespace cat {

// Small pictures drawn for this program at 16 x 16.
QIcon WindowIcon();  // a transceiver with its dial and antenna
QIcon HelpIcon();    // a question mark in a blue disc

}  // namespace cat
