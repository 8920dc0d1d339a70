// The four tabs' controls, by their names: kind, caption, frame and tab; and a layout in which nothing
// is cut off or overlaps at the default font.
#include "app/BlockMap.h"
#include "tests/support/WindowFixture.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTableView>
#include <QTimer>

namespace kestrion::test {
namespace {

enum class Kind { Label, Box, Button, Radio, Check, Frame, Grid, List, Combo, Map };

struct Control {
    int tab;
    const char* name;
    Kind kind;
    const char* caption; // nullptr: not checked (set at run time)
    const char* frame;   // the frame that holds it, or nullptr for the tab page itself
};

const Control kControls[] = {
    {0, "Label6(0)", Kind::Label, "Beginning Address", nullptr},
    {0, "Label6(1)", Kind::Label, "Ending Address", nullptr},
    {0, "Text1", Kind::Box, nullptr, nullptr},
    {0, "Text2", Kind::Box, nullptr, nullptr},
    {0, "Text3", Kind::Box, nullptr, nullptr},
    {0, "Text4", Kind::Box, nullptr, nullptr},
    {0, "Text5", Kind::Box, nullptr, nullptr},
    {0, "txEchoAddr(0)", Kind::Box, nullptr, nullptr},
    {0, "txEchoAddr(1)", Kind::Box, nullptr, nullptr},
    {0, "txEchoAddr(2)", Kind::Box, nullptr, nullptr},
    {0, "lblOutput", Kind::Label, "Succesful Pings:", nullptr},
    {0, "flxOutBox", Kind::Grid, nullptr, nullptr},
    {0, "cmdPing", Kind::Button, "Ping", nullptr},
    {0, "cmdCancelPing", Kind::Button, "Cancel", nullptr},
    {0, "cmdSaveRun", Kind::Button, "Save", nullptr},
    {0, "cmdReset", Kind::Button, "Reset", nullptr},
    {0, "cmdLaunchHelp(1)", Kind::Button, "Help", nullptr},
    {0, "cmdExit(2)", Kind::Button, "Exit", nullptr},
    {0, "lbReportIP", Kind::List, nullptr, nullptr},
    {0, "lbReportRTT", Kind::List, nullptr, nullptr},

    {1, "fraTimeout", Kind::Frame, "Timeout", nullptr},
    {1, "optTimeout(0)", Kind::Radio, "500 ms", "fraTimeout"},
    {1, "optTimeout(1)", Kind::Radio, "1000 ms", "fraTimeout"},
    {1, "optTimeout(2)", Kind::Radio, "3000 ms", "fraTimeout"},
    {1, "optTimeout(3)", Kind::Radio, "6000 ms", "fraTimeout"},
    {1, "Label8(0)", Kind::Label,
     "Select a shorter timeout for faster ping runs, and a longer one for more reliability - particularly on "
     "a slower network.",
     nullptr},
    {1, "fraPacketSize", Kind::Frame, "Packet Size", nullptr},
    {1, "optPacket(0)", Kind::Radio, "8 bytes", "fraPacketSize"},
    {1, "optPacket(1)", Kind::Radio, "64 bytes", "fraPacketSize"},
    {1, "optPacket(2)", Kind::Radio, "512 bytes", "fraPacketSize"},
    {1, "Label8(1)", Kind::Label,
     "Select a larger packet size to force more data over the network.  Normally, there is no need to do "
     "this.",
     nullptr},
    {1, "Label7", Kind::Label,
     "Select Start with local address to have Kestrion automatically fill in the network based on the local "
     "machine's IP address. ",
     nullptr},
    {1, "chkStartWLocalAddr", Kind::Check, "Start with local address", nullptr},
    {1, "chkParallelSweep", Kind::Check, "Send requests in parallel", nullptr},
    {1, "cmdApply", Kind::Button, "Apply", nullptr},
    {1, "cmdExit(1)", Kind::Button, "Exit", nullptr},

    {2, "fraAdvDB", Kind::Frame, "Saved Run Database", nullptr},
    {2, "Label9", Kind::Label, "Saved Run:", "fraAdvDB"},
    {2, "comboChooseRun", Kind::Combo, nullptr, "fraAdvDB"},
    {2, "lblAdvDateCreated(0)", Kind::Label, "Date Created:", "fraAdvDB"},
    {2, "lblAdvDateCreated(1)", Kind::Label, "", "fraAdvDB"},
    {2, "lblAdvNumRuns(0)", Kind::Label, "Number of Runs:", "fraAdvDB"},
    {2, "lblAdvNumRuns(1)", Kind::Label, "", "fraAdvDB"},
    {2, "cmdDelSavedRun", Kind::Button, "Delete", "fraAdvDB"},
    {2, "cmdFreeIPReport", Kind::Button, "Print Report...", "fraAdvDB"},
    {2, "fraAdvSched", Kind::Frame, "Current Schedules", nullptr},
    {2, "lbCurrentSchedules", Kind::List, nullptr, "fraAdvSched"},
    {2, "cmdSchedNow", Kind::Button, "Add Schedule...", "fraAdvSched"},
    {2, "cmdDeleteSchedule", Kind::Button, "Delete Sched.", "fraAdvSched"},
    {2, "cmdLaunchHelp(2)", Kind::Button, "Help", nullptr},
    {2, "cmdExit(3)", Kind::Button, "Exit", nullptr},
    {2, "blockMap", Kind::Map, nullptr, nullptr},

    {3, "lbAboutAppName", Kind::Label, nullptr, nullptr},
    {3, "fraCompanyInfo", Kind::Frame, "Contact Information", nullptr},
    {3, "lbCompanyInfo(0)", Kind::Label, nullptr, "fraCompanyInfo"},
    {3, "lbCompanyInfo(1)", Kind::Label, nullptr, "fraCompanyInfo"},
    {3, "lbCompanyInfo(2)", Kind::Label, nullptr, "fraCompanyInfo"},
    {3, "lbCompanyInfo(3)", Kind::Label, nullptr, "fraCompanyInfo"},
    {3, "lbCompanyInfo(4)", Kind::Label, nullptr, "fraCompanyInfo"},
    {3, "fraAboutNet", Kind::Frame, "Winsock Information", nullptr},
    {3, "Label1", Kind::Label, "Computer Name:", "fraAboutNet"},
    {3, "AboutLocalName", Kind::Label, nullptr, "fraAboutNet"},
    {3, "Label2", Kind::Label, "IP Address:", "fraAboutNet"},
    {3, "AboutLocalIP", Kind::Label, nullptr, "fraAboutNet"},
    {3, "lbCompanyInfo(5)", Kind::Label, nullptr, nullptr},
    {3, "cmdLaunchHelp(0)", Kind::Button, "Help", nullptr},
    {3, "cmdExit(0)", Kind::Button, "Exit", nullptr},
};

bool isKind(QWidget* w, Kind kind) {
    switch (kind) {
    case Kind::Label:
        return qobject_cast<QLabel*>(w);
    case Kind::Box:
        return qobject_cast<QLineEdit*>(w);
    case Kind::Button:
        return qobject_cast<QPushButton*>(w);
    case Kind::Radio:
        return qobject_cast<QRadioButton*>(w);
    case Kind::Check:
        return qobject_cast<QCheckBox*>(w);
    case Kind::Frame:
        return qobject_cast<QGroupBox*>(w);
    case Kind::Grid:
        return qobject_cast<QTableView*>(w);
    case Kind::List:
        return qobject_cast<QListView*>(w);
    case Kind::Combo:
        return qobject_cast<QComboBox*>(w);
    case Kind::Map:
        return qobject_cast<app::BlockMap*>(w);
    }
    return false;
}

QString captionOf(QWidget* w) {
    if (auto* l = qobject_cast<QLabel*>(w))
        return l->text();
    if (auto* b = qobject_cast<QAbstractButton*>(w))
        return b->text();
    if (auto* g = qobject_cast<QGroupBox*>(w))
        return g->title();
    return {};
}

class ControlsTest : public WindowFixture {};

TEST_F(ControlsTest, EveryControlWithItsKindCaptionAndPlace) {
    start();
    const QStringList tabs = {"Ping", "Options", "Database", "About"};
    ASSERT_EQ(control<QTabWidget>(*window, "SSTab1")->count(), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(control<QTabWidget>(*window, "SSTab1")->tabText(i), tabs[i]);
    EXPECT_EQ(control<QTabWidget>(*window, "SSTab1")->currentIndex(), 0);
    EXPECT_EQ(control<QTimer>(*window, "timerSchedule")->interval(), 45000);

    for (const Control& c : kControls) {
        SCOPED_TRACE(c.name);
        auto* w = window->findChild<QWidget*>(QLatin1String(c.name));
        ASSERT_NE(w, nullptr);
        EXPECT_TRUE(isKind(w, c.kind)) << w->metaObject()->className();
        if (c.caption) {
            EXPECT_EQ(captionOf(w), QLatin1String(c.caption));
        }
        const QWidget* page = control<QTabWidget>(*window, "SSTab1")->widget(c.tab);
        EXPECT_TRUE(page->isAncestorOf(w)) << "on tab " << c.tab;
        if (c.frame) {
            EXPECT_EQ(w->parentWidget()->objectName(), QLatin1String(c.frame));
        } else {
            EXPECT_EQ(w->parentWidget(), page);
        }
    }
    EXPECT_EQ(find<QTableView>(QStringLiteral("flxOutBox"))->model()->columnCount(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(find<QLineEdit>(QStringLiteral("txEchoAddr(%1)").arg(i))->isEnabled());
    EXPECT_TRUE(find<QPushButton>(QStringLiteral("cmdApply"))->isEnabled()) << "enabled at start";
}

// The right-hand column: the same place and size on every tab, Exit at the bottom.
TEST_F(ControlsTest, RightColumnButtonsLineUpOnEveryTab) {
    start();
    const QRect exit = find<QPushButton>(QStringLiteral("cmdExit(2)"))->geometry();
    for (const Control& c : kControls) {
        if (c.kind != Kind::Button || c.frame)
            continue;
        SCOPED_TRACE(c.name);
        const QRect r = window->findChild<QPushButton*>(QLatin1String(c.name))->geometry();
        EXPECT_EQ(r.left(), exit.left());
        EXPECT_EQ(r.size(), exit.size());
        EXPECT_LE(r.top(), exit.top());
    }
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(find<QPushButton>(QStringLiteral("cmdExit(%1)").arg(i))->geometry(), exit) << i;
}

// Every control lies inside its tab (and frame), shows its whole caption and overlaps no sibling.
TEST_F(ControlsTest, NothingIsCutOffOrOverlapsAtTheDefaultFont) {
    start();
    // The contents the user sees: About filled in on its first entry.
    control<QTabWidget>(*window, "SSTab1")->setCurrentIndex(3);
    control<QTabWidget>(*window, "SSTab1")->setCurrentIndex(0);
    for (int t = 0; t < 4; ++t) {
        QWidget* page = control<QTabWidget>(*window, "SSTab1")->widget(t);
        control<QTabWidget>(*window, "SSTab1")->setCurrentIndex(t);
        ASSERT_TRUE(page->isVisible());
        const QList<QWidget*> all = page->findChildren<QWidget*>();
        for (QWidget* w : all) {
            const QWidget* parent = w->parentWidget();
            if (w->objectName().isEmpty() || !parent ||
                (parent != page && !qobject_cast<const QGroupBox*>(parent)))
                continue;
            SCOPED_TRACE(w->objectName().toStdString());
            EXPECT_TRUE(parent->rect().contains(w->geometry()))
                << "outside " << parent->objectName().toStdString();
            if (auto* l = qobject_cast<QLabel*>(w); l && !l->text().isEmpty()) {
                const int needed = l->wordWrap() ? l->heightForWidth(l->width()) : l->sizeHint().height();
                EXPECT_LE(needed, l->height()) << "text cut off below";
                if (!l->wordWrap()) {
                    EXPECT_LE(l->sizeHint().width(), l->width()) << "text cut off at the right";
                }
            }
            if (auto* b = qobject_cast<QAbstractButton*>(w)) {
                EXPECT_LE(b->sizeHint().width(), b->width()) << "caption cut off";
                EXPECT_LE(b->sizeHint().height(), b->height() + 2) << "caption cut off";
            }
            for (QWidget* other : all) {
                if (other == w || other->parentWidget() != parent || other->objectName().isEmpty() ||
                    other->objectName() > w->objectName())
                    continue;
                EXPECT_FALSE(w->geometry().intersects(other->geometry()))
                    << "overlaps " << other->objectName().toStdString();
            }
        }
    }
}

// The block map takes the free space right of the "Saved Run Database" frame and above Help, whole
// (its last cell and its legend included), leaving every control where it was.
TEST_F(ControlsTest, BlockMapFillsTheFreeSpaceBesideTheSavedRunFrame) {
    start();
    selectTab(2);
    auto* map = find<app::BlockMap>(QStringLiteral("blockMap"));
    const QRect r = map->geometry();
    const QRect frame = find<QGroupBox>(QStringLiteral("fraAdvDB"))->geometry();
    const QRect help = find<QPushButton>(QStringLiteral("cmdLaunchHelp(2)"))->geometry();
    EXPECT_GT(r.left(), frame.right()) << "right of the frame";
    EXPECT_EQ(r.top(), frame.top());
    EXPECT_LT(r.bottom(), help.top()) << "above Help";
    EXPECT_TRUE(map->parentWidget()->rect().contains(r));
    EXPECT_LE(map->sizeHint().width(), r.width());
    EXPECT_LE(map->sizeHint().height(), r.height()) << "grid, heading and legend fit";
    EXPECT_TRUE(map->rect().contains(map->cellRect(255)));
    EXPECT_EQ(map->cellRect(0).width(), 8) << "the cell size the layout was made for";
}

} // namespace
} // namespace kestrion::test
