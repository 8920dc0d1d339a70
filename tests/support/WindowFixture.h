#pragma once

#include "app/MainWindow.h"
#include "app/Options.h"
#include "app/StatusBar.h"
#include "tests/support/fakes/FakeWorld.h"

#include <QSettings>
#include <QTabWidget>
#include <gtest/gtest.h>
#include <memory>

namespace kestrion::test {

// The main window on fakes, initialised as at start; settings in a temporary INI file, the
// application folder a temporary folder.
class WindowFixture : public ::testing::Test {
protected:
    FakeWorld world;
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
        window = std::make_unique<app::MainWindow>(world.services());
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
