#include "qt/window/window_choices.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "core/mode.h"
#include "core/port_names.h"
#include "qt/platform/qt_text.h"

namespace cat {

void ShowChoices(const WindowControls& c, const RestoredChoices& choices) {
    for (int p = 0; p < kPortCount; ++p) c.portList_->addItem(Q(PortEntry(p)));
    c.portList_->setCurrentIndex(-1);
    for (auto mode : kModeNames) c.modeList_->addItem(Q(mode));
    c.modeList_->setCurrentIndex(-1);
    c.addressBox_->setText(Q(choices.address));
    c.protocolList_->setCurrentIndex(choices.protocolPosition);
    c.speedList_->setCurrentIndex(choices.speedPosition);
    c.portList_->setCurrentIndex(choices.portPosition);
}

ChoicesToSave ChoicesShown(const QWidget& window, const WindowControls& c) {
    ChoicesToSave shown;
    shown.portPosition = static_cast<std::int16_t>(c.portList_->currentIndex());
    shown.protocolPosition = static_cast<std::int16_t>(c.protocolList_->currentIndex());
    shown.speedPosition = static_cast<std::int16_t>(c.speedList_->currentIndex());
    shown.address = c.addressBox_->text().toStdString();
    shown.onTop = c.onTopButton_->isChecked();
    shown.normalState = !(window.windowState() & (Qt::WindowMinimized | Qt::WindowMaximized));
    const FrameTwips frame = FrameInTwips(window);
    shown.left = frame.left;
    shown.top = frame.top;
    shown.width = frame.width;
    shown.height = frame.height;
    return shown;
}

}  // namespace cat
