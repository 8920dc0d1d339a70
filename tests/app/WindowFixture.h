#pragma once

#include "Fakes.h"
#include "app/MainWindow.h"
#include "app/Options.h"
#include "app/StatusBar.h"
#include "platform/Settings.h"

#include <QSettings>
#include <QTabWidget>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

namespace kestrion::test {

// A main window on fakes, its settings in a temporary INI file and its application folder a temporary
// folder. `start()` runs what the window's initialisation does for the options and the About tab.
class WindowFixture : public ::testing::Test {
protected:
    QTemporaryDir dir;
    FakeEcho echo;
    FakeBoxes boxes;
    FakeClock clock;
    FakeHost host;
    FakeShell shell;
    FakeComponents components;
    std::unique_ptr<platform::SettingsStore> settings;
    std::unique_ptr<app::MainWindow> window;

    QString iniPath() const { return dir.filePath(QStringLiteral("Kestrion.ini")); }

    // Stored values as another program (or an earlier run) left them.
    void store(const QString& key, const QString& value) {
        QSettings ini(iniPath(), QSettings::IniFormat);
        ini.setValue(QStringLiteral("Settings/") + key, value);
    }
    QString stored(const QString& key) const {
        QSettings ini(iniPath(), QSettings::IniFormat);
        return ini.value(QStringLiteral("Settings/") + key, QStringLiteral("<missing>")).toString();
    }

    void start() {
        ASSERT_TRUE(dir.isValid());
        settings = std::make_unique<platform::SettingsStore>(iniPath());
        platform::AppPaths paths{dir.path(), dir.path()};
        window = std::make_unique<app::MainWindow>(
            app::Services{echo, boxes, clock, host, shell, *settings, components, paths});
        app::ReadSettings(window->state(), *settings);
        window->SetUpWindow();
        window->show();
    }

    template <typename T> T* find(const QString& name) const {
        T* w = window->findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name.toStdString();
        return w;
    }
    void selectTab(int tab) { window->SSTab1->setCurrentIndex(tab); }
    QString status() const { return window->sbStatus->panel(1); }
};

} // namespace kestrion::test
