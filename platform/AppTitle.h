#pragma once

#include <QString>

namespace kestrion::platform {

// The application title: the main window's caption, the settings' application name and the first word
// of the message-box titles.
inline QString appTitle() {
    return QStringLiteral("Kestrion");
}

} // namespace kestrion::platform
