#include "app/SavedRunsPanel.h"
#include "app/FatalError.h"
#include "db/CompactAndBackup.h"
#include "db/SavedRuns.h"
#include "platform/DateText.h"
#include "tests/support/fakes/AppFolder.h"
#include "tests/support/fakes/FakeMessageBoxes.h"
#include "tests/support/fakes/FakeServices.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

using namespace kestrion;
using platform::MsgButtons;
using platform::MsgIcon;

namespace {

// The frame's controls, the Save button and the panel over a temporary application folder.
struct PanelFixture : ::testing::Test {
    test::AppFolder folder;
    test::FakeMessageBoxes boxes;
    test::FakeClock clock{QDateTime(QDate(2026, 3, 14), QTime(14, 30, 59))};
    db::SavedRuns runs{folder.paths, folder.busy, clock};
    QWidget window;
    QComboBox* combo = new QComboBox(&window);
    QLabel* dateCreated = new QLabel(&window);
    QLabel* numRuns = new QLabel(&window);
    QPushButton* del = new QPushButton(QStringLiteral("Delete"), &window);
    QPushButton* report = new QPushButton(QStringLiteral("Print Report..."), &window);
    QPushButton* save = new QPushButton(QStringLiteral("Save"), &window);
    app::SavedRunsPanel panel{{combo, dateCreated, numRuns, del, report, save}, runs, boxes};
    int schedulesRefreshed = 0;

    PanelFixture() {
        panel.connectControls();
        QObject::connect(&panel, &app::SavedRunsPanel::schedulesChanged, [this] { ++schedulesRefreshed; });
    }
    QStringList entries() const {
        QStringList list;
        for (int i = 0; i < combo->count(); ++i)
            list.append(combo->itemText(i));
        return list;
    }
    void saveDirectly(const QString& range, int times = 1) {
        for (int i = 0; i < times; ++i)
            runs.SaveRun(range, {{"10.0.0.1", 1}});
    }
};

} // namespace

TEST(RangeText, NamesTheSweptRange) {
    struct Row {
        const char* name;
        const char *o1, *o2, *o3;
        int16_t first, last;
        const char* expected;
    } rows[] = {
        {"whole block", "192", "168", "1", 1, 254, "192.168.1.1-254"},
        {"one address", "10", "0", "0", 5, 5, "10.0.0.5-5"},
        {"shortest octets", "1", "2", "3", 0, 0, "1.2.3.0-0"},
        {"full range", "172", "16", "200", 0, 255, "172.16.200.0-255"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const QString text = app::rangeTextForSweep(row.o1, row.o2, row.o3, row.first, row.last);
        EXPECT_EQ(text, QString::fromLatin1(row.expected));
        EXPECT_GE(text.size(), 7);
        const QStringList parts = text.split('.');
        ASSERT_EQ(parts.size(), 4);
        EXPECT_EQ(parts.mid(0, 3), QStringList({row.o1, row.o2, row.o3}));
    }
}

TEST_F(PanelFixture, FillingAnEmptyDatabaseDisablesDeleteAndReport) {
    del->setEnabled(true);
    report->setEnabled(true);
    dateCreated->setText("stale");
    numRuns->setText("9");
    panel.FillSavedRunList();
    EXPECT_EQ(combo->count(), 0);
    EXPECT_FALSE(del->isEnabled());
    EXPECT_FALSE(report->isEnabled());
    EXPECT_EQ(dateCreated->text(), "");
    EXPECT_EQ(numRuns->text(), "");
}

TEST_F(PanelFixture, FillingListsEveryRunAndShowsTheFirst) {
    saveDirectly("10.0.0.1-254", 3);
    clock.time = clock.time.addDays(2);
    saveDirectly("10.0.1.1-254");
    combo->addItem("left over");
    panel.FillSavedRunList();

    EXPECT_EQ(entries(), QStringList({"10.0.0.1-254", "10.0.1.1-254"}));
    EXPECT_EQ(combo->currentIndex(), 0);
    EXPECT_EQ(dateCreated->text(),
              platform::generalDateText(QDateTime(QDate(2026, 3, 14), QTime(14, 30, 59))));
    EXPECT_EQ(numRuns->text(), "3");
    EXPECT_TRUE(del->isEnabled());
    EXPECT_TRUE(report->isEnabled());
}

TEST_F(PanelFixture, ChoosingAnEntryShowsItsDetailsAndShortEntriesDisableTheButtons) {
    saveDirectly("10.0.0.1-254", 2);
    saveDirectly("1.2.3", 5); // shorter than any range the Save button forms
    panel.FillSavedRunList();
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_Down); // the user's choice: raises activated
    EXPECT_EQ(combo->currentText(), "1.2.3");
    EXPECT_FALSE(del->isEnabled());
    EXPECT_FALSE(report->isEnabled());
    EXPECT_EQ(numRuns->text(), "5") << "details still shown";

    QTest::keyClick(combo, Qt::Key_Up);
    EXPECT_TRUE(del->isEnabled());
    EXPECT_TRUE(report->isEnabled());
    EXPECT_EQ(numRuns->text(), "2");
}

TEST_F(PanelFixture, DetailsOfARunThatIsGoneStayEmpty) {
    saveDirectly("10.0.0.1-254");
    panel.FillSavedRunList();
    runs.DeleteSavedRun("10.0.0.1-254");
    panel.comboChooseRun_Click();
    EXPECT_EQ(dateCreated->text(), "");
    EXPECT_EQ(numRuns->text(), "");
}

TEST_F(PanelFixture, SaveByTheButtonConfirmsAndByTheTimerSaysNothing) {
    struct Row {
        const char* name;
        bool scheduled;
        size_t boxes;
    } rows[] = {{"button", false, 1}, {"timer", true, 0}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        boxes.shown.clear();
        save->setEnabled(true);
        const std::vector<db::ResultRow> answers{{"192.168.1.1", 0}, {"192.168.1.20", 3}};
        // The scheduled run saves through the saved runs itself and then lets the panel show it.
        if (row.scheduled)
            panel.showSaved(runs.SaveRun("192.168.1.1-254", answers));
        else
            panel.cmdSaveRun_Click("192.168.1.1-254", answers);
        EXPECT_FALSE(save->isEnabled());
        ASSERT_EQ(boxes.shown.size(), row.boxes);
        if (row.boxes) {
            EXPECT_EQ(boxes.shown[0].title, "Kestrion Save Notification");
            EXPECT_EQ(boxes.shown[0].text, "Run saved.  ");
            EXPECT_EQ(boxes.shown[0].buttons, MsgButtons::Ok);
            EXPECT_EQ(boxes.shown[0].icon, MsgIcon::Information);
        }
    }
    EXPECT_EQ(runs.find("192.168.1.1-254")->numberofruns, 2);
    EXPECT_EQ(folder.count("SELECT count(*) FROM tblSuccess"), 4);
}

TEST_F(PanelFixture, NoRunNumberLeftIsToldAndSaveStaysAvailable) {
    {
        db::Database database(folder.paths.database());
        database.exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 32767) "
                      "INSERT INTO tblSavedRuns SELECT i, 'r' || i, '2026-01-01 00:00:00', 1 FROM n;");
    }
    save->setEnabled(true);
    EXPECT_EQ(panel.SaveRun("10.0.0.1-254", {}), db::SaveOutcome::NoRunNumberLeft);
    EXPECT_TRUE(save->isEnabled());
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].title, "Kestrion Error");
    EXPECT_NE(boxes.shown[0].text.indexOf("32767"), -1);
    EXPECT_FALSE(boxes.shown[0].text.contains("saved.")) << "must not read as a success";
}

TEST_F(PanelFixture, NoToTheDeleteQuestionLeavesEverythingAlone) {
    saveDirectly("10.0.0.1-254");
    panel.FillSavedRunList();
    const QByteArray before = folder.bytes("KRdb.mdb");
    const QByteArray oldBefore = folder.bytes("KRDB.old");
    boxes.answers = {platform::AnswerNo};

    panel.cmdDelSavedRun_Click();

    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].title, "Kestrion Confirm Delete");
    EXPECT_EQ(boxes.shown[0].text,
              "Are you sure that you want to delete this run, all of its data, and all of its schedules?");
    EXPECT_EQ(boxes.shown[0].buttons, MsgButtons::YesNo);
    EXPECT_EQ(boxes.shown[0].icon, MsgIcon::Question);
    EXPECT_EQ(boxes.shown[0].defaultAnswer, platform::AnswerNo);
    EXPECT_EQ(folder.bytes("KRdb.mdb"), before);
    EXPECT_EQ(folder.bytes("KRDB.old"), oldBefore) << "no compaction ran";
    EXPECT_EQ(entries(), QStringList({"10.0.0.1-254"}));
    EXPECT_EQ(schedulesRefreshed, 0);
}

TEST_F(PanelFixture, DeletingTheOnlyRunEmptiesTheFrameAndItsSchedules) {
    saveDirectly("10.0.0.1-254");
    {
        db::Database database(folder.paths.database());
        database.exec("INSERT INTO tblSchedules VALUES ('2026-04-01 10:00:00', '10.0.0.1-254');");
    }
    panel.FillSavedRunList();
    boxes.answers = {platform::AnswerYes};

    panel.cmdDelSavedRun_Click();

    EXPECT_EQ(combo->count(), 0);
    EXPECT_FALSE(del->isEnabled());
    EXPECT_FALSE(report->isEnabled());
    EXPECT_EQ(dateCreated->text(), "");
    EXPECT_EQ(numRuns->text(), "");
    EXPECT_EQ(schedulesRefreshed, 1);
    EXPECT_EQ(folder.count("SELECT count(*) FROM tblSchedules"), 0);
    EXPECT_EQ(folder.bytes("KRDB.bak"), folder.bytes("KRdb.mdb"));
}

TEST_F(PanelFixture, DeletingOneOfTwoRunsShowsTheOther) {
    saveDirectly("10.0.0.1-254");
    saveDirectly("10.0.1.1-254", 4);
    panel.FillSavedRunList();
    boxes.answers = {platform::AnswerYes};
    panel.cmdDelSavedRun_Click();
    EXPECT_EQ(entries(), QStringList({"10.0.1.1-254"}));
    EXPECT_EQ(numRuns->text(), "4");
    EXPECT_TRUE(del->isEnabled());
}

TEST_F(PanelFixture, AMissingDatabaseShowsTheRunTimeErrorAndEndsTheEventLoop) {
    QFile::remove(folder.paths.database());
    app::FatalPath fatal;
    bool ran = true;
    QTimer::singleShot(0,
                       [&] { ran = app::runEventGuarded(fatal, boxes, [&] { panel.FillSavedRunList(); }); });
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    guard.start(10000);

    EXPECT_EQ(QCoreApplication::exec(), 1);
    EXPECT_FALSE(ran);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].title, "Kestrion");
    EXPECT_TRUE(boxes.shown[0].text.startsWith("Run-time error '14':\n\nunable to open database file"))
        << boxes.shown[0].text.toStdString();
    EXPECT_EQ(boxes.shown[0].buttons, MsgButtons::Ok);
    EXPECT_TRUE(fatal.ending());
    EXPECT_FALSE(app::runEventGuarded(fatal, boxes, [] {})) << "queued events start no new work";
    EXPECT_FALSE(QFile::exists(folder.paths.database()));
}

// The fatal box after a save whose sweep is committed but whose backup could not be renewed (a folder
// stands at its name): the run-time error as always, and a line that the sweep is stored.
TEST_F(PanelFixture, ACompactionFailingAfterTheSaveSaysTheSweepIsStored) {
    ASSERT_TRUE(QDir(folder.dir.path()).mkpath("KRDB.bak/inside"));
    app::FatalPath fatal;
    QTimer::singleShot(0, [&] {
        app::runEventGuarded(fatal, boxes, [&] {
            panel.cmdSaveRun_Click("10.0.0.1-254", {{"10.0.0.1", 1}});
        });
    });
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    guard.start(10000);

    EXPECT_EQ(QCoreApplication::exec(), 1);
    ASSERT_EQ(boxes.shown.size(), 1u) << "no \"Run saved.\" box before the failure";
    EXPECT_EQ(boxes.shown[0].title, "Kestrion");
    EXPECT_EQ(boxes.shown[0].icon, MsgIcon::Critical);
    const QString& text = boxes.shown[0].text;
    EXPECT_TRUE(text.startsWith("Run-time error '21':\n\nIs a directory: " + folder.file("KRDB.bak")))
        << text.toStdString();
    EXPECT_TRUE(text.endsWith("\n\nThe sweep was saved.  Only the compaction of the database and the renewal "
                              "of its backups failed."))
        << text.toStdString();
    EXPECT_EQ(folder.count("SELECT numberofruns FROM tblSavedRuns"), 1);
}

TEST(FatalBoxText, OnlyAFailureAfterACommitAddsWhatIsStored) {
    const db::DbError plain(28, "No space left on device: /f/KRDB.bak");
    struct Row {
        const char* name;
        std::function<QString()> text;
        QString expected;
    } rows[] = {
        {"any other failure", [&] { return app::fatalBoxText(plain); },
         "Run-time error '28':\n\nNo space left on device: /f/KRDB.bak"},
        {"after a save",
         [&] { return app::fatalBoxText(db::CompactionFailedAfterCommit(plain, db::StoredChange::Sweep)); },
         "Run-time error '28':\n\nNo space left on device: /f/KRDB.bak\n\nThe sweep was saved.  Only the "
         "compaction of the database and the renewal of its backups failed."},
        {"after a deletion",
         [&] {
             return app::fatalBoxText(db::CompactionFailedAfterCommit(plain, db::StoredChange::Deletion));
         },
         "Run-time error '28':\n\nNo space left on device: /f/KRDB.bak\n\nThe saved run was deleted.  Only "
         "the compaction of the database and the renewal of its backups failed."},
    };
    for (const Row& row : rows)
        EXPECT_EQ(row.text(), row.expected) << row.name;
}
