#pragma once

#include "app/About.h"
#include "app/MainWindow.h"
#include "app/Options.h"
#include "app/StatusBar.h"
#include "sweep/PingSweep.h"
#include "sweep/PingTab.h"
#include "sweep/RangeEntry.h"
#include "sweep/SweepSession.h"
#include "tests/support/fakes/FakeWorld.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <functional>
#include <gtest/gtest.h>

namespace kestrion::test {

// A control of the window by its name (its objectName); fails the test when there is none.
template <class T> T* control(const QObject& window, const char* name) {
    auto* c = window.findChild<T*>(QLatin1String(name));
    EXPECT_NE(c, nullptr) << name;
    return c;
}
// One of the window's modules (the sweep, the range entry, About): the one child of its type.
template <class T> T* part(const QObject& window) {
    auto* p = window.findChild<T*>();
    EXPECT_NE(p, nullptr);
    return p;
}

// A cell's text as a view of a table model shows it.
inline QString cellText(const QAbstractItemView& view, int row, int column) {
    return view.model()->index(row, column).data().toString();
}
inline int rowCount(const QAbstractItemView& view) {
    return view.model()->rowCount();
}

// The window's sweep session, range entry and in-memory options: its modules, found by type.
inline sweep::SweepSession& session(const QObject& window) {
    return *part<sweep::SweepSession>(window);
}
inline sweep::RangeEntry& rangeEntry(const QObject& window) {
    return *part<sweep::RangeEntry>(window);
}
inline const sweep::SweepOptions& options(const QObject& window) {
    return part<app::OptionsController>(window)->values();
}

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
    QTableView* grid() const { return find<QTableView>("flxOutBox"); }
    QString panel1() const { return control<app::StatusBar>(*window, "sbStatus")->panel(1); }
    sweep::SweepSession& session() const { return test::session(*window); }
    sweep::RangeEntry& rangeEntry() const { return test::rangeEntry(*window); }
    const sweep::SweepOptions& options() const { return test::options(*window); }

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
        const QTableView* g = grid();
        for (int r = 0; r < rowCount(*g); ++r) {
            QStringList cells;
            for (int c = 0; c < g->model()->columnCount(); ++c)
                cells << cellText(*g, r, c);
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
