#include "schedule/SchedulesPanel.h"
#include "db/Database.h"
#include "db/ScheduleStore.h"
#include "platform/DateText.h"
#include "schedule/ScheduleMessages.h"

#include "tests/support/ScheduleTestSupport.h"
#include "tests/support/fakes/AppFolder.h"
#include "tests/support/fakes/FakeMessageBoxes.h"
#include "tests/support/fakes/FakeServices.h"

#include <QListWidget>
#include <QLocale>
#include <gtest/gtest.h>
#include <stdexcept>

using namespace kestrion;
using schedtest::at;

namespace {

const QString kRangeA = QStringLiteral("10.1.2.1-254");
const QString kRangeB = QStringLiteral("10.1.3.1-254");

class SchedulesPanelTest : public ::testing::Test {
protected:
    SchedulesPanelTest() {
        clock.time = at(2026, 3, 17, 14, 5, 30);
        folder.exec("INSERT INTO tblSavedRuns VALUES (1, '10.1.2.1-254', '2026-01-01 10:00:00', 1);"
                    "INSERT INTO tblSavedRuns VALUES (2, '10.1.3.1-254', '2026-01-01 10:00:00', 1);");
    }

    void store(const QDateTime& when, const QString& range) {
        db::Database db(folder.paths.database());
        auto insert = db.prepare("INSERT INTO tblSchedules VALUES (?1, ?2);");
        insert.bind(1, platform::toStoredDate(when)).bind(2, range);
        insert.step();
    }
    int storedCount() { return static_cast<int>(folder.count("SELECT count(*) FROM tblSchedules;")); }
    QStringList lines() const {
        QStringList out;
        for (int i = 0; i < list.count(); ++i)
            out.append(list.item(i)->text());
        return out;
    }
    void select(int row) {
        list.setCurrentRow(row);
        list.item(row)->setSelected(true);
    }

    test::AppFolder folder;
    schedule::ScheduleState state;
    test::FakeMessageBoxes boxes;
    test::FakeClock clock;
    QListWidget list;
    QString panel2;
    db::ScheduleStore scheduleStore{folder.paths, folder.busy};
    schedule::SchedulesPanel panel{&list, scheduleStore, state, boxes, clock};
    const QMetaObject::Connection shown = QObject::connect(&panel, &schedule::SchedulesPanel::scheduleText,
                                                           [this](const QString& t) { panel2 = t; });
};

TEST_F(SchedulesPanelTest, StartUpExpiresPastSchedulesInTimeOrder) {
    const QDateTime later = at(2026, 3, 18, 9, 0);
    const QDateTime earliest = at(2026, 3, 16, 8, 15);
    const QDateTime lastMinute = at(2026, 3, 17, 14, 4, 59);
    // Stored out of time order, so only the query's ordering can put the messages in time order.
    store(later, kRangeA);
    store(lastMinute, kRangeB);
    store(earliest, kRangeA);

    QList<int> rowsWhileOpen;
    boxes.whileOpen = [&](const test::FakeMessageBoxes::Box&) {
        rowsWhileOpen.append(storedCount());
        EXPECT_EQ(folder.busy.depth, 0); // a box never waits with the database open
    };
    panel.RefreshSchedules();

    ASSERT_EQ(boxes.shown.size(), 2u);
    const QString lead =
        QStringLiteral("The scheduled time for this run is past.  This schedule will be deleted\r");
    EXPECT_EQ(boxes.shown[0].text,
              lead + platform::generalDateText(earliest) + QStringLiteral("  Address: ") + kRangeA);
    EXPECT_EQ(boxes.shown[1].text,
              lead + platform::generalDateText(lastMinute) + QStringLiteral("  Address: ") + kRangeB);
    for (const auto& b : boxes.shown) {
        EXPECT_EQ(b.title, QStringLiteral("Kestrion Schedule Expired"));
        EXPECT_EQ(b.icon, platform::MsgIcon::None);
        EXPECT_EQ(b.buttons, platform::MsgButtons::Ok);
    }
    EXPECT_EQ(rowsWhileOpen, (QList<int>{3, 2})); // each row goes only after its OK
    EXPECT_EQ(storedCount(), 1);
    EXPECT_EQ(lines(), QStringList{db::scheduleLine(later, kRangeA)});
    EXPECT_EQ(panel2, QStringLiteral("Schedule: ") + platform::generalDateText(later) + QStringLiteral(" "));
    EXPECT_EQ(state.NextSchedDate, later);
    EXPECT_EQ(state.NextSchedIP, kRangeA);
    EXPECT_EQ(folder.busy.depth, 0);
}

// A held schedule lies between two expired ones: the list fills between the boxes as before, and at
// every box exactly the schedules whose boxes were answered are gone. The program ending at the second
// box (here: the box throwing) leaves that one stored, and the next refresh tells of it again.
TEST_F(SchedulesPanelTest, EachExpiredScheduleGoesRightAfterItsBox) {
    const QDateTime first = at(2026, 3, 16, 8, 15);
    const QDateTime held = at(2026, 3, 17, 14, 1);
    const QDateTime second = at(2026, 3, 17, 14, 4, 59);
    const QDateTime later = at(2026, 3, 18, 9, 0);
    store(later, kRangeB);
    store(second, kRangeB);
    store(held, kRangeA);
    store(first, kRangeA);
    panel.holdSchedule(held);
    const auto storedDates = [this] {
        return folder.column("SELECT scheddate FROM tblSchedules ORDER BY scheddate;");
    };
    const QString heldLine = db::scheduleLine(held, kRangeA);
    const QStringList all = storedDates();
    ASSERT_EQ(all.size(), 4);

    struct AtBox {
        QStringList stored;
        QStringList listed;
    };
    std::vector<AtBox> seen;
    boxes.whileOpen = [&](const test::FakeMessageBoxes::Box&) {
        seen.push_back({storedDates(), lines()});
        if (seen.size() == 2)
            throw std::runtime_error("ended while the box is open");
    };
    EXPECT_THROW(panel.RefreshSchedules(), std::runtime_error);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].stored, all);
    EXPECT_EQ(seen[0].listed, QStringList());
    EXPECT_EQ(seen[1].stored, all.mid(1)) << "the first answered box took its schedule";
    EXPECT_EQ(seen[1].listed, QStringList{heldLine});
    EXPECT_EQ(folder.busy.depth, 0);

    boxes.whileOpen = nullptr;
    boxes.shown.clear();
    panel.RefreshSchedules();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, schedule::expiredScheduleText({second, kRangeB}));
    EXPECT_EQ(lines(), (QStringList{heldLine, db::scheduleLine(later, kRangeB)}));
    EXPECT_EQ(storedDates(), (QStringList{all[1], all[3]}));
}

TEST_F(SchedulesPanelTest, ScheduleInTheCurrentMinuteIsListedNotExpired) {
    store(at(2026, 3, 17, 14, 5, 0), kRangeB);
    panel.RefreshSchedules();
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(lines().size(), 1);
    EXPECT_EQ(state.NextSchedDate, at(2026, 3, 17, 14, 5, 0));
}

TEST_F(SchedulesPanelTest, HeldScheduleOutlivesItsMinute) {
    store(at(2026, 3, 17, 14, 1), kRangeA);
    panel.holdSchedule(at(2026, 3, 17, 14, 1));
    panel.RefreshSchedules();
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(state.NextSchedIP, kRangeA);
    panel.holdSchedule(std::nullopt);
    panel.RefreshSchedules();
    EXPECT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(storedCount(), 0);
}

TEST_F(SchedulesPanelTest, AddingSchedulesAndTheirMessages) {
    struct Case {
        const char* name;
        QDateTime when;
        QString range;
        QString title;
        QString text;
        platform::MsgIcon icon;
        int storedAfter;
    } cases[] = {
        {"a new schedule is saved", at(2026, 3, 20, 6, 0), kRangeA, QStringLiteral("Kestrion Confirmation"),
         QStringLiteral("Schedule saved."), platform::MsgIcon::Information, 2},
        {"same minute, other range: duplicate", at(2026, 3, 20, 6, 0), kRangeB,
         QStringLiteral("Kestrion Duplicate Schedule"),
         QStringLiteral("There is already a schedule for this date and time saved.  Please try again."),
         platform::MsgIcon::Critical, 2},
        {"a range that is no saved run: any other error", at(2026, 3, 21, 6, 0),
         QStringLiteral("10.9.9.1-254"), QStringLiteral("Kestrion Error"),
         QStringLiteral("An error has occurred saving this schedule.  Please try again. \r"
                        "If the error persists, contact customer support.\r"
                        "Error: 787, FOREIGN KEY constraint failed"),
         platform::MsgIcon::Critical, 2},
    };
    store(at(2026, 3, 19, 6, 0), kRangeA);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        boxes.shown.clear();
        state.NewSchedDate = c.when;
        state.NewSchedIP = c.range;
        panel.AddSchedule();
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_EQ(boxes.shown[0].title, c.title);
        EXPECT_EQ(boxes.shown[0].text, c.text);
        EXPECT_EQ(boxes.shown[0].icon, c.icon);
        EXPECT_EQ(storedCount(), c.storedAfter);
        EXPECT_EQ(folder.busy.depth, 0);
    }
    // The first add refreshed the list; the failed ones left it as it was.
    EXPECT_EQ(lines(), (QStringList{db::scheduleLine(at(2026, 3, 19, 6, 0), kRangeA),
                                    db::scheduleLine(at(2026, 3, 20, 6, 0), kRangeA)}));
}

TEST_F(SchedulesPanelTest, MidnightScheduleIsListedWithoutTimeAndDeletable) {
    const QDateTime midnight = at(2026, 3, 19, 0, 0);
    store(midnight, kRangeA);
    store(at(2026, 3, 19, 0, 1), kRangeA);
    panel.RefreshSchedules();
    ASSERT_EQ(lines().size(), 2);
    EXPECT_EQ(lines()[0], QLocale::system().toString(midnight.date(), QLocale::ShortFormat) +
                              QStringLiteral("      Address: ") + kRangeA);
    select(0);
    boxes.answers = {platform::AnswerYes};
    panel.cmdDeleteSchedule_Click();
    EXPECT_EQ(lines(), QStringList{db::scheduleLine(at(2026, 3, 19, 0, 1), kRangeA)});
    EXPECT_EQ(state.NextSchedDate, at(2026, 3, 19, 0, 1));
}

TEST_F(SchedulesPanelTest, DeleteSchedButtonAsksAndRespectsTheAnswer) {
    store(at(2026, 3, 19, 6, 0), kRangeA);
    panel.RefreshSchedules();

    panel.cmdDeleteSchedule_Click(); // nothing selected
    EXPECT_TRUE(boxes.shown.empty());

    select(0);
    boxes.answers = {platform::AnswerNo};
    panel.cmdDeleteSchedule_Click();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].title, QStringLiteral("Kestrion Confirm Delete"));
    EXPECT_EQ(boxes.shown[0].text, QStringLiteral("Are you sure that you want to delete this schedule?"));
    EXPECT_EQ(boxes.shown[0].buttons, platform::MsgButtons::YesNo);
    EXPECT_EQ(boxes.shown[0].icon, platform::MsgIcon::Question);
    EXPECT_EQ(boxes.shown[0].defaultAnswer, platform::AnswerNo);
    EXPECT_EQ(storedCount(), 1);

    boxes.answers = {platform::AnswerYes};
    panel.cmdDeleteSchedule_Click();
    EXPECT_EQ(storedCount(), 0);
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(panel2, QStringLiteral("No current schedule"));
    EXPECT_FALSE(state.NextSchedDate.has_value());
    EXPECT_TRUE(state.NextSchedIP.isEmpty());
}

TEST_F(SchedulesPanelTest, DeleteByLineMatchesWholeLinesOnly) {
    store(at(2026, 3, 19, 6, 0), kRangeA);
    store(at(2026, 3, 19, 7, 0), kRangeB);
    panel.RefreshSchedules();
    panel2 = QStringLiteral("untouched");
    panel.DeleteSchedule(db::scheduleLine(at(2026, 3, 19, 6, 0), kRangeB)); // right time, wrong range
    panel.DeleteSchedule(db::scheduleLine(at(2026, 3, 19, 6, 0), kRangeA).chopped(1));
    EXPECT_EQ(storedCount(), 2);
    EXPECT_EQ(panel2, QStringLiteral("untouched")); // no match: no refresh
    panel.DeleteSchedule(db::scheduleLine(at(2026, 3, 19, 7, 0), kRangeB));
    EXPECT_EQ(lines(), QStringList{db::scheduleLine(at(2026, 3, 19, 6, 0), kRangeA)});
}

} // namespace
