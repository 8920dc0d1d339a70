#include "db/ScheduleStore.h"
#include "db/Database.h"
#include "tests/support/fakes/AppFolder.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace kestrion;
using db::AddOutcome;

namespace {

QDateTime at(int day, int hour, int minute) {
    return QDateTime(QDate(2026, 3, day), QTime(hour, minute));
}

struct ScheduleStoreFixture : ::testing::Test {
    ScheduleStoreFixture() {
        folder.exec("INSERT INTO tblSavedRuns VALUES (1, '10.1.2.1-254', '2026-01-01 10:00:00', 1);"
                    "INSERT INTO tblSavedRuns VALUES (2, '10.1.3.1-254', '2026-01-01 10:00:00', 1);");
    }
    QStringList stored() const {
        return folder.column("SELECT scheddate || ' ' || schedip FROM tblSchedules ORDER BY scheddate;");
    }
    test::AppFolder folder;
    db::ScheduleStore store{folder.paths, folder.busy};
};

} // namespace

// A second schedule of a minute is an outcome, not a failure; any other refusal of the engine still is.
TEST_F(ScheduleStoreFixture, ADuplicateMinuteIsToldAndAddsNothing) {
    EXPECT_EQ(store.add(at(20, 6, 0), "10.1.2.1-254"), AddOutcome::Added);
    EXPECT_EQ(store.add(at(20, 6, 0), "10.1.3.1-254"), AddOutcome::Duplicate) << "whatever the range";
    EXPECT_EQ(store.add(at(20, 6, 1), "10.1.3.1-254"), AddOutcome::Added);
    EXPECT_EQ(stored(),
              (QStringList{"2026-03-20 06:00:00 10.1.2.1-254", "2026-03-20 06:01:00 10.1.3.1-254"}));
    try {
        store.add(at(21, 6, 0), "10.9.9.1-254");
        ADD_FAILURE() << "a range without a saved run was stored";
    } catch (const db::DbError& error) {
        EXPECT_EQ(error.number(), 787) << "the foreign key's own number";
    }
    EXPECT_EQ(folder.busy.depth, 0);
}
