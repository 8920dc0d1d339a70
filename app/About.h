#pragma once

#include <QCursor>
#include <QObject>
#include <QString>

namespace kestrion::platform {
class HostInfo;
class Shell;
struct AppPaths;
} // namespace kestrion::platform

namespace kestrion::app {

class AboutTab;
class StatusBar;

// The About tab's contents and the help page: the maker's details, the network lines and the links.
class About : public QObject {
    Q_OBJECT
public:
    About(AboutTab& tab, platform::HostInfo& host, platform::Shell& shell, const platform::AppPaths& paths,
          QObject* parent = nullptr);

    // The About part of the window's set-up: title and version, contact lines, the hand cursor, WebAddress.
    void SetUpAbout();
    // On every entry into the About tab: hourglass, "Loading Winsock information...", the host's name and
    // address as they are now, "Thank you for using Kestrion!", pointer restored.
    void ShowNetworkInfo(StatusBar& status);

    // Any contact line, whichever was clicked, opens the maker's web site.
    void lbCompanyInfo_Click(int index);
    // All three Help buttons (0 About, 1 Ping, 2 Database) open the help page.
    void cmdLaunchHelp_Click(int index);

    const QString& webAddress() const { return WebAddress; }

    // The cursor of "H_point.cur" in `folder`, or the toolkit's pointing hand when the file is missing
    // or unreadable.
    static QCursor handCursor(const QString& folder);

private:
    AboutTab& tab_;
    platform::HostInfo& host_;
    platform::Shell& shell_;
    const platform::AppPaths& paths_;
    QString WebAddress;
};

} // namespace kestrion::app
