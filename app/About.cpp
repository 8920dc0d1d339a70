#include "app/About.h"

#include "app/AboutTab.h"
#include "app/StatusBar.h"
#include "platform/AppPaths.h"
#include "platform/HostInfo.h"
#include "platform/Shell.h"

#include "Version.h"
#include "platform/AppTitle.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPixmap>

namespace kestrion::app {

About::About(AboutTab& tab, platform::HostInfo& host, platform::Shell& shell, const platform::AppPaths& paths,
             QObject* parent)
    : QObject(parent), tab_(tab), host_(host), shell_(shell), paths_(paths) {
    connect(&tab_, &AboutTab::companyInfoClicked, this, &About::lbCompanyInfo_Click);
}

void About::SetUpAbout() {
    tab_.lbAboutAppName->setText(QStringLiteral("%1 %2.%3")
                                     .arg(platform::appTitle())
                                     .arg(KESTRION_VERSION_MAJOR)
                                     .arg(KESTRION_VERSION_MINOR));
    QLabel** lines = tab_.lbCompanyInfo;
    lines[0]->setText(QStringLiteral(KESTRION_COMPANY_NAME));
    lines[1]->setText(QStringLiteral(KESTRION_ADDRESS_LINE1));
    lines[2]->setText(QStringLiteral(KESTRION_ADDRESS_LINE2));
    lines[3]->setText(QStringLiteral("Web:  ") + QStringLiteral(KESTRION_WEB_HOST));
    QFont link = lines[3]->font();
    link.setPointSizeF(8.25);
    link.setUnderline(true);
    lines[3]->setFont(link);
    QPalette blue = lines[3]->palette();
    blue.setColor(QPalette::WindowText, Qt::blue);
    lines[3]->setPalette(blue);
    lines[3]->setCursor(handCursor(paths_.appFolder));
    lines[4]->setText(QStringLiteral("E-Mail:  ") + QStringLiteral(KESTRION_EMAIL));
    lines[5]->setText(QStringLiteral(KESTRION_LEGAL_NOTICE));
    WebAddress = QStringLiteral(KESTRION_WEB_ADDRESS);
}

void About::ShowNetworkInfo(StatusBar& status) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    status.setPanelAndRepaint(1, QStringLiteral("Loading Winsock information..."));
    tab_.AboutLocalName->setText(host_.hostName());
    tab_.AboutLocalIP->setText(host_.localAddress());
    status.setPanel(1, QStringLiteral("Thank you for using Kestrion!"));
    QApplication::restoreOverrideCursor();
}

void About::lbCompanyInfo_Click(int) {
    platform::OpenWithShell(shell_, 0, QStringLiteral("open"), WebAddress, QString(), QString(), 1);
}

// The help page opens in the desktop's browser, as the shell opens any HTML file.
void About::cmdLaunchHelp_Click(int) {
    platform::OpenWithShell(shell_, 0, QStringLiteral("open"), paths_.helpFile(), QString(), QString(), 1);
}

QCursor About::handCursor(const QString& folder) {
    const QString path = folder + QStringLiteral("/H_point.cur");
    QFile file(path);
    const QPixmap picture(path, "CUR");
    if (picture.isNull() || !file.open(QIODevice::ReadOnly))
        return QCursor(Qt::PointingHandCursor);
    // The image reader drops the hot spot; a cursor file keeps it in its first directory entry
    // (little-endian x and y at bytes 10 and 12), where an icon file keeps planes and bit count.
    const QByteArray head = file.read(14);
    if (head.size() < 14)
        return QCursor(picture, 0, 0);
    auto word = [&head](int at) { return int(uchar(head[at])) | int(uchar(head[at + 1])) << 8; };
    const int x = word(10), y = word(12);
    if (x >= picture.width() || y >= picture.height())
        return QCursor(picture, 0, 0);
    return QCursor(picture, x, y);
}

} // namespace kestrion::app
