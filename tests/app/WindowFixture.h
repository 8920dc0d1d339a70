#pragma once

#include "app/MainWindow.h"
#include "app/Options.h"
#include "app/StatusBar.h"
#include "tests/support/fakes/FakeWorld.h"

#include <QSettings>
#include <QTabWidget>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace kestrion::test {

// A machine whose name and address the test sets; `onLookup` runs inside each look-up, so a test can
// see what the window shows while it waits for the answer.
class WatchedHost final : public platform::HostInfo {
public:
    QString name = QStringLiteral("lab7");
    QString address = QStringLiteral("10.0.0.5");
    std::function<void()> onLookup;
    QString hostName() const override {
        if (onLookup)
            onLookup();
        return name;
    }
    QString localAddress() const override {
        if (onLookup)
            onLookup();
        return address;
    }
};

// The main window on fakes, initialised as at start; settings in a temporary INI file, the
// application folder a temporary folder.
class WindowFixture : public ::testing::Test {
protected:
    FakeWorld world;
    WatchedHost host;
    std::unique_ptr<app::MainWindow> window;

    QString appFolder() const { return world.folder.dir.path(); }
    QString iniPath() const { return world.folder.file("Kestrion.ini"); }

    // Stored values as an earlier run left them.
    void store(const QString& key, const QString& value) {
        QSettings ini(iniPath(), QSettings::IniFormat);
        ini.setValue(QStringLiteral("Settings/") + key, value);
    }
    QString stored(const QString& key) const {
        QSettings ini(iniPath(), QSettings::IniFormat);
        return ini.value(QStringLiteral("Settings/") + key, QStringLiteral("<missing>")).toString();
    }

    void start() {
        ASSERT_TRUE(world.folder.dir.isValid());
        window = std::make_unique<app::MainWindow>(
            app::Services{world.echo, world.boxes, world.clock, host, world.shell, *world.settings,
                          world.components, platform::AppPaths{appFolder(), appFolder()}});
        window->Form_Load();
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
