#include "platform/Shell.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace kestrion::platform {

int DesktopShell::open(const QString& fileOrAddress) {
    const QUrl url = QFileInfo::exists(fileOrAddress) ? QUrl::fromLocalFile(fileOrAddress)
                                                      : QUrl::fromUserInput(fileOrAddress);
    return QDesktopServices::openUrl(url) ? 42 : 0;
}

} // namespace kestrion::platform
