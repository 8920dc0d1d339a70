// The folders the help page names are the ones the program uses.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <gtest/gtest.h>

namespace {

// The folders of a user who changed nothing: the program's name and no XDG overrides.
class DefaultUserFolders {
public:
    DefaultUserFolders() : name_(QCoreApplication::applicationName()) {
        for (const char* var : {"XDG_DATA_HOME", "XDG_CONFIG_HOME"}) {
            saved_.emplace_back(var, qgetenv(var));
            qunsetenv(var);
        }
        QCoreApplication::setApplicationName(QStringLiteral("Kestrion")); // as app::Application does
    }
    ~DefaultUserFolders() {
        QCoreApplication::setApplicationName(name_);
        for (const auto& [var, value] : saved_)
            if (!value.isNull())
                qputenv(var, value);
    }

private:
    QString name_;
    std::vector<std::pair<const char*, QByteArray>> saved_;
};

QString helpPage() {
    QFile page(QStringLiteral(KESTRION_APP_DIR "/Kestrion.html"));
    return page.open(QIODevice::ReadOnly) ? QString::fromUtf8(page.readAll()) : QString();
}

// The path in the <code> element that follows `lead`, with ~ made the home folder.
QString namedPath(const QString& page, const QString& lead) {
    const QRegularExpression pattern(QRegularExpression::escape(lead) +
                                     QStringLiteral("\\s*\\(?<code>([^<]+)</code>"));
    const QRegularExpressionMatch match = pattern.match(page);
    if (!match.hasMatch())
        return QStringLiteral("<not named after '%1'>").arg(lead);
    QString path = match.captured(1);
    if (path.startsWith(QLatin1Char('~')))
        path.replace(0, 1, QDir::homePath());
    return path;
}

TEST(HelpPage, NamesTheDataFolderAndSettingsFileTheProgramUses) {
    const QString page = helpPage();
    ASSERT_FALSE(page.isEmpty());
    DefaultUserFolders defaults;
    // AppPaths puts the database of a system-wide install here.
    EXPECT_EQ(namedPath(page, QStringLiteral("own data folder")).toStdString(),
              QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation).toStdString());
    // platform::SettingsStore's QSettings("Kestrion", "Kestrion").
    EXPECT_EQ(namedPath(page, QStringLiteral("Your settings file")).toStdString(),
              QSettings(QStringLiteral("Kestrion"), QStringLiteral("Kestrion")).fileName().toStdString());
}

} // namespace
