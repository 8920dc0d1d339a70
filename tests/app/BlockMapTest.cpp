// The block map on the Database tab, through the real window over fakes.
#include "app/BlockMap.h"
#include "app/AddressHistoryWindow.h"
#include "app/StatusBar.h"
#include "db/Database.h"
#include "platform/DateText.h"
#include "schedule/ChangeTexts.h"
#include "tests/support/Harness.h"

#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QToolTip>

using namespace kestrion;
using db::CellFill;
using test::FakeWorld;
using test::Harness;

namespace {

const QDateTime kFirst(QDate(2026, 3, 14), QTime(9, 15));
const QDateTime kSecond(QDate(2026, 3, 15), QTime(9, 15));
const QDateTime kThird(QDate(2026, 3, 16), QTime(18, 40, 12));

// Two saved sweeps of the range that a sweep of 192.168.1.15 to 21 saves under, and a second run.
// The first run's rows also hold .0 so that the network address has an answer to show.
void twoRuns(FakeWorld& world) {
    world.folder.exec("INSERT INTO tblSavedRuns VALUES (1, '192.168.1.15-21', '2026-03-14 09:15:00', 2);"
                      "INSERT INTO tblSavedRuns VALUES (2, '10.0.0.1-254', '2026-03-14 09:15:00', 1);"
                      "INSERT INTO tblSuccess VALUES (1, '2026-03-14 09:15:00', '192.168.1.0', '1');"
                      "INSERT INTO tblSuccess VALUES (1, '2026-03-14 09:15:00', '192.168.1.15', '1');"
                      "INSERT INTO tblSuccess VALUES (1, '2026-03-15 09:15:00', '192.168.1.15', '1');"
                      "INSERT INTO tblSuccess VALUES (1, '2026-03-15 09:15:00', '192.168.1.16', '1');"
                      "INSERT INTO tblSuccess VALUES (2, '2026-03-14 09:15:00', '10.0.0.7', '1');");
}

struct MapWindow {
    Harness h;
    explicit MapWindow(const std::function<void(FakeWorld&)>& prepare = twoRuns) : h(true, prepare) {}

    app::BlockMap* map() const { return h.find<app::BlockMap>("blockMap"); }
    QComboBox* combo() const { return h.find<QComboBox>("comboChooseRun"); }
    void showDatabaseTab() const { test::control<QTabWidget>(*h.window, "SSTab1")->setCurrentIndex(2); }
    // The colour at (dx, dy) inside the cell's square, as painted.
    QColor at(int octet, int dx, int dy) const {
        const QImage image = map()->grab().toImage();
        const qreal scale = image.devicePixelRatio();
        const QRect r = map()->cellRect(octet);
        return image.pixelColor(qRound((r.left() + dx) * scale), qRound((r.top() + dy) * scale));
    }
    QString toolTipAt(int octet) const {
        QToolTip::hideText();
        const QPoint pos = map()->cellRect(octet).center();
        QHelpEvent help(QEvent::ToolTip, pos, map()->mapToGlobal(pos));
        QCoreApplication::sendEvent(map(), &help);
        return QToolTip::text();
    }
    // A picture for review, when the environment names a folder (see DEVELOPING.md).
    void saveScreenshot(const char* name) const {
        const QString folder = qEnvironmentVariable("KESTRION_SCREENSHOT_DIR");
        if (!folder.isEmpty())
            h.window->grab().save(QDir(folder).filePath(QLatin1String(name)));
    }
};

QString answered(int octet, int times, int of, const QDateTime& last) {
    return QStringLiteral("192.168.1.%1: answered in %2 of %3 sweeps, last on %4")
        .arg(octet)
        .arg(times)
        .arg(of)
        .arg(platform::generalDateText(last));
}

// The tooltip's lines under the cell's text.
QString seen(const QDateTime& first, const QDateTime& last, const QDateTime& silentSince = {}) {
    QString lines = QStringLiteral("\nFirst seen: ") + platform::generalDateText(first) +
                    QStringLiteral("\nLast seen: ") + platform::generalDateText(last);
    if (silentSince.isValid())
        lines += QStringLiteral("\nSilent since: ") + platform::generalDateText(silentSince);
    return lines;
}

} // namespace

TEST(BlockMap, EachAddressHasItsCellInSixteenRowsOfSixteen) {
    MapWindow w;
    w.showDatabaseTab();
    const app::BlockMap* map = w.map();
    const QRect first = map->cellRect(0), rowEnd = map->cellRect(15), nextRow = map->cellRect(16),
                last = map->cellRect(255);
    EXPECT_EQ(first.width(), first.height()) << "square cells";
    EXPECT_GE(first.width(), 7) << "big enough to tell the fills apart";
    EXPECT_EQ(rowEnd.top(), first.top());
    EXPECT_EQ(rowEnd.left(), first.left() + 15 * (map->cellRect(1).left() - first.left()));
    EXPECT_EQ(nextRow.left(), first.left());
    EXPECT_GT(nextRow.top(), rowEnd.bottom()) << ".16 starts the second row";
    EXPECT_GT(map->cellRect(1).left(), first.right()) << "a grid line between cells";
    EXPECT_EQ(last.left(), rowEnd.left());
    EXPECT_TRUE(map->rect().contains(last));
    for (int octet : {0, 15, 16, 255}) {
        EXPECT_EQ(map->cellAt(map->cellRect(octet).center()), octet);
    }
}

TEST(BlockMap, FillsOutlineAndNonHostMarksShowHowEachAddressAnswered) {
    MapWindow w;
    w.showDatabaseTab();
    ASSERT_TRUE(w.map()->picture());
    EXPECT_EQ(w.map()->picture()->block, "192.168.1");
    w.saveScreenshot("database-tab.png");

    struct Row {
        const char* name;
        int octet;
        CellFill fill;
        bool latest;
        bool host;
    } rows[] = {
        {"network address, answered in the first sweep only", 0, CellFill::Some, false, false},
        {"answered in both sweeps", 15, CellFill::Every, true, true},
        {"answered in the latest sweep only", 16, CellFill::Some, true, true},
        {"never answered", 20, CellFill::Free, false, true},
        {"outside the run's range", 22, CellFill::NotInRange, false, true},
        {"broadcast address, outside the range", 255, CellFill::NotInRange, false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const QColor fill = app::BlockMap::fillColour(row.fill);
        EXPECT_EQ(w.at(row.octet, 2, 1), fill) << "fill";
        EXPECT_EQ(w.at(row.octet, 3, 0), row.latest ? app::BlockMap::latestSweepOutline(row.fill) : fill)
            << "outline";
        EXPECT_EQ(w.at(row.octet, 3, 3) == fill, row.host) << "diagonal mark";
    }
    // Apart in grey too: the grey values of the three fills differ by at least a fifth of the scale.
    const int free = qGray(app::BlockMap::fillColour(CellFill::Free).rgb());
    const int some = qGray(app::BlockMap::fillColour(CellFill::Some).rgb());
    const int every = qGray(app::BlockMap::fillColour(CellFill::Every).rgb());
    EXPECT_GT(free - some, 50);
    EXPECT_GT(some - every, 50);
    const int notInRange = qGray(app::BlockMap::fillColour(CellFill::NotInRange).rgb());
    EXPECT_GT(free - notInRange, 40);
    EXPECT_GT(notInRange - some, 40);
    // The legend, below the grid, has a swatch of the grey too.
    const QImage image = w.map()->grab().toImage();
    const qreal scale = image.devicePixelRatio();
    int greyInLegend = 0;
    for (int y = qRound((w.map()->cellRect(255).bottom() + 2) * scale); y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            greyInLegend += image.pixelColor(x, y) == app::BlockMap::fillColour(CellFill::NotInRange);
    EXPECT_GT(greyInLegend, 4);

    EXPECT_EQ(w.map()->accessibleName(), "Block map");
    EXPECT_TRUE(w.map()->accessibleDescription().contains(
        "1 answered in every sweep, 2 in some, 5 never, 248 not in this run's range"))
        << w.map()->accessibleDescription().toStdString();

    // Choosing the other run draws that one.
    w.combo()->setFocus();
    QTest::keyClick(w.combo(), Qt::Key_Down);
    ASSERT_TRUE(w.map()->picture());
    EXPECT_EQ(w.map()->picture()->block, "10.0.0");
    EXPECT_EQ(w.at(7, 2, 1), app::BlockMap::fillColour(CellFill::Every));
}

TEST(BlockMap, TooltipsSayHowOftenAndWhenAnAddressAnswered) {
    MapWindow w;
    w.showDatabaseTab();
    EXPECT_EQ(w.toolTipAt(15), answered(15, 2, 2, kSecond) + seen(kFirst, kSecond));
    EXPECT_EQ(w.toolTipAt(0), answered(0, 1, 2, kFirst) + " (the network's own address, not a host address)" +
                                  seen(kFirst, kFirst, kSecond));
    EXPECT_EQ(w.toolTipAt(16), answered(16, 1, 2, kSecond) + seen(kSecond, kSecond));
    EXPECT_EQ(w.toolTipAt(21), "192.168.1.21: never answered");
    EXPECT_EQ(w.toolTipAt(22), "192.168.1.22: not in this run's range");
    EXPECT_EQ(w.toolTipAt(255),
              "192.168.1.255: not in this run's range (the broadcast address, not a host address)");
}

TEST(BlockMap, TabReachesTheMapArrowsMoveAndCtrlCCopies) {
    MapWindow w;
    w.showDatabaseTab();
    app::BlockMap* map = w.map();
    QPushButton* report = w.h.button("cmdFreeIPReport");
    ASSERT_TRUE(report->isEnabled());
    report->setFocus();
    QTest::keyClick(report, Qt::Key_Tab);
    QTRY_VERIFY(map->hasFocus());

    struct Row {
        const char* name;
        Qt::Key key;
        int cell;
    } rows[] = {
        {"left edge stays", Qt::Key_Left, 0},
        {"top edge stays", Qt::Key_Up, 0},
        {"right", Qt::Key_Right, 1},
        {"down a row", Qt::Key_Down, 17},
        {"up a row", Qt::Key_Up, 1},
        {"end", Qt::Key_End, 255},
        {"right edge stays", Qt::Key_Right, 255},
        {"bottom edge stays", Qt::Key_Down, 255},
        {"up to .239", Qt::Key_Up, 239},
        {"home", Qt::Key_Home, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        QTest::keyClick(map, row.key);
        EXPECT_EQ(map->focusCell(), row.cell);
        EXPECT_EQ(w.h.panel1(), app::cellText(*map->picture(), row.cell));
    }
    for (int i = 0; i < 15; ++i)
        QTest::keyClick(map, Qt::Key_Right);
    EXPECT_EQ(w.h.panel1(), answered(15, 2, 2, kSecond));
    QGuiApplication::clipboard()->clear();
    QTest::keyClick(map, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "192.168.1.15");
}

// A click or Return on a cell shows that address's history in a window beside the main one; the map
// keeps the keyboard, so the arrows and Return go on choosing.
TEST(BlockMap, ChoosingACellShowsItsHistoryAndTheChangesLineNamesTheLatest) {
    MapWindow w;
    w.showDatabaseTab();
    app::BlockMap* map = w.map();
    EXPECT_EQ(test::control<QLabel>(*w.h.window, "lblChanges")->text(),
              QStringLiteral("1 new, 1 gone since ") +
                  schedule::sweepDateText(platform::toStoredDate(kFirst)));

    QTest::mouseClick(map, Qt::LeftButton, {}, map->cellRect(0).center());
    auto* history = w.h.window->findChild<app::AddressHistoryWindow*>("frmAddressHistory");
    ASSERT_NE(history, nullptr);
    EXPECT_TRUE(history->isVisible());
    EXPECT_EQ(history->windowTitle(), "192.168.1.0 in 192.168.1.15-21");
    EXPECT_EQ(history->summaryText(),
              QStringLiteral("Answered in 1 of 2 logged sweeps.\nFirst seen %1, last seen %1.\n"
                             "Silent since %2 (1 sweep).\nLast time 1 ms, median 1 ms.")
                  .arg(schedule::sweepDateText(platform::toStoredDate(kFirst)),
                       schedule::sweepDateText(platform::toStoredDate(kSecond))));
    // Newest first.
    const app::AddressHistoryModel& rows = history->model();
    ASSERT_EQ(rows.rowCount(), 2);
    EXPECT_EQ(rows.index(0, 1).data().toString(), "Silent");
    EXPECT_EQ(rows.index(0, 2).data().toString(), "");
    EXPECT_EQ(rows.index(1, 1).data().toString(), "Answered");
    EXPECT_EQ(rows.index(1, 2).data().toString(), "1");
    if (const QString folder = qEnvironmentVariable("KESTRION_SCREENSHOT_DIR"); !folder.isEmpty())
        history->grab().save(QDir(folder).filePath("address-history.png"));

    map->setFocus();
    QTest::keyClick(map, Qt::Key_End);
    QTest::keyClick(map, Qt::Key_Return);
    EXPECT_EQ(history->windowTitle(), "192.168.1.255 in 192.168.1.15-21");
    EXPECT_EQ(history->model().rowCount(), 2);
    EXPECT_TRUE(history->summaryText().startsWith("Answered in 0 of 2 logged sweeps."));
    EXPECT_TRUE(map->hasFocus());
}

TEST(BlockMap, BlankWithoutAChosenRun) {
    MapWindow w([](FakeWorld& world) {
        // Too short to name a run: Delete and Print Report are off for it, and so is the map.
        world.folder.exec("INSERT INTO tblSavedRuns VALUES (1, '1.2.3', '2026-03-14 09:15:00', 1);");
    });
    app::BlockMap* map = w.map();
    EXPECT_FALSE(map->picture()) << "before the Database tab is entered";
    w.showDatabaseTab();
    EXPECT_EQ(w.combo()->currentText(), "1.2.3");
    EXPECT_FALSE(map->picture());
    EXPECT_EQ(map->accessibleDescription(), "No run chosen");
    w.saveScreenshot("database-tab-blank.png");
    map->setFocus();
    QGuiApplication::clipboard()->setText("kept");
    QTest::keyClick(map, Qt::Key_C, Qt::ControlModifier);
    QTest::keyClick(map, Qt::Key_Right);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "kept");
    EXPECT_EQ(w.toolTipAt(20), "");

    // The text is there and no cell is.
    const QImage image = map->grab().toImage();
    int textPixels = 0, cellPixels = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            textPixels += qGray(c.rgb()) < 100;
            cellPixels += c == app::BlockMap::fillColour(CellFill::Free);
        }
    EXPECT_GT(textPixels, 20);
    EXPECT_EQ(cellPixels, 0);
}

TEST(BlockMap, RedrawnAfterSaveAndAfterDelete) {
    MapWindow w;
    w.showDatabaseTab();
    test::control<QTabWidget>(*w.h.window, "SSTab1")->setCurrentIndex(0);
    w.h.setRange("192", "168", "1", "15", "21");
    w.h.world.echo.answer("192.168.1.15");
    w.h.world.echo.answer("192.168.1.20");
    w.h.ping();
    QTRY_VERIFY(w.h.button("cmdSaveRun")->isEnabled());
    w.h.world.clock.time = kThird;
    w.h.button("cmdSaveRun")->click();
    ASSERT_EQ(w.h.world.boxes.shown.back().text, "Run saved.  ");

    const QDateTime third = platform::toWholeMinute(kThird);
    EXPECT_EQ(w.toolTipAt(15), answered(15, 3, 3, third) + seen(kFirst, third));
    EXPECT_EQ(w.toolTipAt(16), answered(16, 1, 3, kSecond) + seen(kSecond, kSecond, third));
    EXPECT_EQ(w.toolTipAt(20), answered(20, 1, 3, third) + seen(third, third));
    EXPECT_EQ(w.at(16, 3, 0), app::BlockMap::fillColour(CellFill::Some)) << "no longer in the latest";
    EXPECT_EQ(w.at(20, 3, 0), app::BlockMap::latestSweepOutline(CellFill::Some));

    // Deleting the run shows the next one; deleting that one leaves none.
    w.showDatabaseTab();
    w.h.world.boxes.answers = {platform::AnswerYes, platform::AnswerYes};
    w.h.button("cmdDelSavedRun")->click();
    ASSERT_TRUE(w.map()->picture());
    EXPECT_EQ(w.map()->picture()->block, "10.0.0");
    w.h.button("cmdDelSavedRun")->click();
    EXPECT_FALSE(w.map()->picture());
}

// The scheduled run saves through the same SaveRun, with no box: the map counts the new sweep.
TEST(BlockMap, RedrawnAfterAScheduledRunsSave) {
    MapWindow w;
    w.showDatabaseTab();
    ASSERT_EQ(w.toolTipAt(15), answered(15, 2, 2, kSecond) + seen(kFirst, kSecond));
    w.h.world.clock.time = kThird;
    w.h.world.folder.exec("INSERT INTO tblSchedules VALUES ('2026-03-16 18:40:00', '192.168.1.15-21');");
    w.h.window->RefreshSchedules();
    w.h.window->timerSchedule_Timer(); // nobody answers the run's sweep
    ASSERT_EQ(test::control<app::StatusBar>(*w.h.window, "sbStatus")->panel(1), "Scheduled run complete.");
    EXPECT_TRUE(w.h.world.boxes.shown.empty());
    // Redrawn by the save itself, before the Database tab is shown again.
    ASSERT_TRUE(w.map()->picture());
    EXPECT_EQ(w.map()->picture()->sweeps, 3);
    w.showDatabaseTab();
    const QDateTime third = platform::toWholeMinute(kThird);
    EXPECT_EQ(w.toolTipAt(15), answered(15, 2, 3, kSecond) + seen(kFirst, kSecond, third));
    EXPECT_EQ(w.at(15, 2, 1), app::BlockMap::fillColour(CellFill::Some));

    // Everyone that answered before is gone: the line under the map and the notification say so.
    const QString since =
        QStringLiteral(" since ") + schedule::sweepDateText(platform::toStoredDate(kSecond));
    const QString line = test::control<QLabel>(*w.h.window, "lblChanges")->text();
    EXPECT_EQ(line, QStringLiteral("2 gone") + since);
    ASSERT_EQ(w.h.world.notifier.shown.size(), 1);
    EXPECT_EQ(w.h.world.notifier.shown.front(),
              QStringLiteral("Kestrion: changes in 192.168.1.15-21\n2 gone") + since +
                  QStringLiteral("\ngone: 192.168.1.15, 192.168.1.16"));
}

// The same rule as the schedule timer's: while a sweep or another database operation runs, the
// map leaves the database alone and keeps what it shows.
TEST(BlockMap, NeverReadsTheDatabaseDuringASweepOrAnotherOperation) {
    test::AppFolder folder;
    folder.exec("INSERT INTO tblSavedRuns VALUES (1, '192.168.1.15-21', '2026-03-14 09:15:00', 1);");
    app::BlockMap map;
    QLabel changes;
    ASSERT_TRUE(app::drawBlockMap(map, changes, folder.paths, false, folder.busy, "192.168.1.15-21"));
    ASSERT_TRUE(map.picture());
    // Any read from now on fails loudly.
    ASSERT_TRUE(QFile::remove(folder.paths.database()));

    struct Row {
        const char* name;
        bool sweep;
        int busy;
    } rows[] = {{"sweep running", true, 0}, {"database operation", false, 1}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        folder.busy.depth = row.busy;
        EXPECT_FALSE(app::drawBlockMap(map, changes, folder.paths, row.sweep, folder.busy, "10.0.0.1-254"));
        ASSERT_TRUE(map.picture());
        EXPECT_EQ(map.picture()->block, "192.168.1");
    }
    folder.busy.depth = 0;
    EXPECT_THROW(app::drawBlockMap(map, changes, folder.paths, false, folder.busy, "10.0.0.1-254"),
                 db::DbError);
}

// A run of 10.77.2.1-40 never asked .41 to .255 nor .0: their text says so, and an address in the
// range that was asked and stayed silent is still "never answered".
TEST(BlockCellText, AddressesOutsideTheRunsRangeAreToldApart) {
    db::RunUsage usage;
    usage.sweeps = 2;
    usage.latestSweep = QDateTime(QDate(2026, 3, 16), QTime(22, 1));
    usage.addresses = {{"10.77.2.7", 2, usage.latestSweep, {}, {}},
                       {"10.77.2.200", 1, usage.latestSweep, {}, {}}};
    const db::BlockPicture picture = db::blockPicture("10.77.2.1-40", usage);
    const QLocale c = QLocale::c();
    struct Row {
        const char* name;
        int octet;
        QString text;
    } rows[] = {
        {"first host, silent", 1, "10.77.2.1: never answered"},
        {"last host, silent", 40, "10.77.2.40: never answered"},
        {"answered", 7,
         "10.77.2.7: answered in 2 of 2 sweeps, last on " + platform::generalDateText(usage.latestSweep, c)},
        {"one past the last", 41, "10.77.2.41: not in this run's range"},
        {"the end of the block", 254, "10.77.2.254: not in this run's range"},
        {"an answer from outside the range still shows", 200,
         "10.77.2.200: answered in 1 of 2 sweeps, last on " +
             platform::generalDateText(usage.latestSweep, c)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(app::cellText(picture, row.octet, c), row.text);
    }
}

TEST(BlockCellText, SaysHowOftenAndWhenTheAddressAnswered) {
    db::RunUsage usage;
    usage.sweeps = 5;
    usage.latestSweep = QDateTime(QDate(2026, 3, 16), QTime(22, 1));
    usage.addresses = {{"192.168.1.20", 3, usage.latestSweep, {}, {}},
                       {"192.168.1.255", 5, usage.latestSweep, {}, {}}};
    const db::BlockPicture picture = db::blockPicture("192.168.1.1-254", usage);
    const QLocale c = QLocale::c();
    const QString last = platform::generalDateText(usage.latestSweep, c);
    struct Row {
        const char* name;
        int octet;
        QString text;
    } rows[] = {
        {"answered", 20, "192.168.1.20: answered in 3 of 5 sweeps, last on " + last},
        {"never", 21, "192.168.1.21: never answered"},
        {"network", 0,
         "192.168.1.0: not in this run's range (the network's own address, not a host address)"},
        {"broadcast", 255,
         "192.168.1.255: answered in 5 of 5 sweeps, last on " + last +
             " (the broadcast address, not a host address)"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(app::cellText(picture, row.octet, c), row.text);
    }
}
