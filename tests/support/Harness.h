#pragma once

#include "app/MainWindow.h"
#include "app/StatusBar.h"
#include "sweep/PingTab.h"
#include "tests/support/fakes/FakeWorld.h"

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>

#include <functional>
#include <gtest/gtest.h>

namespace kestrion::test {

// The real main window over fakes, initialised and active, with helpers to drive it by control name.
// `prepare` runs before the window is made: stored settings and rows, the clock, real services.
struct Harness {
    FakeWorld world;
    std::unique_ptr<app::MainWindow> window;

    explicit Harness(bool load = true, const std::function<void(FakeWorld&)>& prepare = {}) {
        if (prepare)
            prepare(world);
        window = std::make_unique<app::MainWindow>(world.services());
        if (load)
            this->load();
    }
    ~Harness() {
        // The window is closed by some tests; what matters is that nothing is left open.
        window.reset();
    }
    void load() {
        window->Form_Load();
        QApplication::setActiveWindow(window.get());
        (void)QTest::qWaitForWindowActive(window.get());
    }

    template <class T = QWidget> T* find(const char* name) const {
        auto* w = window->findChild<T*>(QLatin1String(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QLineEdit* box(const char* name) const { return find<QLineEdit>(name); }
    QPushButton* button(const char* name) const { return find<QPushButton>(name); }
    QTableWidget* grid() const { return find<QTableWidget>("flxOutBox"); }
    QString panel1() const { return window->sbStatus->panel(1); }
    platform::AppState& state() { return window->state(); }

    void setRange(const char* o1, const char* o2, const char* o3, const char* first, const char* last) {
        box("Text1")->setText(QLatin1String(o1));
        box("Text2")->setText(QLatin1String(o2));
        box("Text3")->setText(QLatin1String(o3));
        box("Text4")->setText(QLatin1String(first));
        box("Text5")->setText(QLatin1String(last));
    }
    void ping() { button("cmdPing")->click(); }

    // Types each character into whichever control has the focus, as a user would.
    void type(const QString& text) {
        for (QChar c : text) {
            QWidget* target = QApplication::focusWidget();
            ASSERT_NE(target, nullptr);
            QTest::keyClick(target, c.toLatin1());
        }
    }

    std::vector<QStringList> rows() const {
        std::vector<QStringList> out;
        QTableWidget* g = grid();
        for (int r = 0; r < g->rowCount(); ++r) {
            QStringList cells;
            for (int c = 0; c < g->columnCount(); ++c)
                cells << (g->item(r, c) ? g->item(r, c)->text() : QString());
            out.push_back(cells);
        }
        return out;
    }
    std::vector<uint32_t> sentTo() const {
        std::vector<uint32_t> out;
        for (const auto& s : world.echo.sent)
            out.push_back(s.destination);
        return out;
    }
    // Clicks a button at the sweep's next yield, as a user click waiting in the queue would be.
    void clickAtNextYield(const char* name) {
        QPushButton* b = button(name);
        QMetaObject::invokeMethod(
            b, [b] { b->click(); }, Qt::QueuedConnection);
    }
};

inline uint32_t ip(const char* dotted) {
    return FakeEcho::value(dotted);
}

} // namespace kestrion::test
