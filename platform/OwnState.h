#pragma once

#include <QWidget>

namespace kestrion::platform {

// Whether the control itself was enabled. QWidget::isEnabled() also reads false while a parent is
// disabled, as the main window is while the schedule dialog is open, and would then misread the state
// the program gave the control.
inline bool isOwnEnabled(const QWidget* control) {
    return !control->testAttribute(Qt::WA_ForceDisabled);
}

} // namespace kestrion::platform
