#include "db/BlockUsage.h"
#include "db/SavedRuns.h"
#include "platform/DateText.h"
#include "tests/support/fakes/AppFolder.h"
#include "tests/support/fakes/FakeServices.h"

#include <gtest/gtest.h>

using namespace kestrion;
using db::CellFill;

namespace {

const QDateTime kDay1(QDate(2026, 3, 14), QTime(9, 15, 40));
const QDateTime kDay2(QDate(2026, 3, 15), QTime(9, 15, 0));
const QDateTime kDay3(QDate(2026, 3, 16), QTime(22, 1, 5));

// Three saved sweeps of 192.168.1.0-255; beside it a run of the same block that must not count.
struct BlockUsageFixture : ::testing::Test {
    test::AppFolder folder;
    test::FakeClock clock{kDay1};
    db::SavedRuns runs{folder.paths, folder.busy, clock};

    void save(const QString& range, const QDateTime& when, const QStringList& octets) {
        clock.time = when;
        std::vector<db::ResultRow> rows;
        for (const QString& o : octets)
            rows.push_back({QStringLiteral("192.168.1.") + o, 1});
        ASSERT_EQ(runs.SaveRun(range, rows), db::SaveOutcome::Saved);
    }
    void SetUp() override {
        save("192.168.1.0-255", kDay1, {"0", "15", "16", "20"});
        save("192.168.1.1-254", kDay1, {"21", "22"});
        save("192.168.1.0-255", kDay2, {"15", "20"});
        save("192.168.1.0-255", kDay3, {"15", "16"});
        // An answer from outside the block (a reply's source address) has no cell.
        folder.exec("INSERT INTO tblSuccess VALUES (1, '2026-03-16 22:01:00', '10.9.9.9', '1');");
    }
};

} // namespace

TEST_F(BlockUsageFixture, EachAddressHasItsCellCountAndFill) {
    const auto usage = db::readRunUsage(folder.paths, folder.busy, "192.168.1.0-255");
    ASSERT_TRUE(usage);
    EXPECT_EQ(folder.busy.depth, 0);
    EXPECT_EQ(usage->sweeps, 3);
    EXPECT_EQ(usage->latestSweep, platform::toWholeMinute(kDay3));
    const db::BlockPicture picture = db::blockPicture("192.168.1.0-255", *usage);
    EXPECT_EQ(picture.block, "192.168.1");

    struct Row {
        const char* name;
        int octet;
        CellFill fill;
        int answered;
        bool latest;
        bool host;
    } rows[] = {
        {"network address, answered once, long ago", 0, CellFill::Some, 1, false, false},
        {"end of row 0, every sweep", 15, CellFill::Every, 3, true, true},
        {"start of row 1, two sweeps with the latest", 16, CellFill::Some, 2, true, true},
        {"two sweeps, not the latest", 20, CellFill::Some, 2, false, true},
        {"only in the other run", 21, CellFill::Free, 0, false, true},
        {"broadcast address, never", 255, CellFill::Free, 0, false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const db::BlockCell& cell = picture.cells[static_cast<size_t>(row.octet)];
        EXPECT_EQ(cell.address, QStringLiteral("192.168.1.%1").arg(row.octet));
        EXPECT_EQ(cell.fill, row.fill);
        EXPECT_EQ(cell.answered, row.answered);
        EXPECT_EQ(cell.inLatestSweep, row.latest);
        EXPECT_EQ(cell.hostAddress, row.host);
    }
    EXPECT_EQ(picture.count(CellFill::Every), 1);
    EXPECT_EQ(picture.count(CellFill::Some), 3);
    EXPECT_EQ(picture.count(CellFill::Free), 252);
    EXPECT_EQ(picture.cells[16].lastAnswered, platform::toWholeMinute(kDay3));
    EXPECT_EQ(picture.cells[20].lastAnswered, platform::toWholeMinute(kDay2));
}

TEST_F(BlockUsageFixture, ARunWithoutAnswersIsFoundAndAnUnsavedRangeIsNot) {
    clock.time = kDay2;
    ASSERT_EQ(runs.SaveRun("10.0.0.1-254", {}), db::SaveOutcome::Saved);
    const auto quiet = db::readRunUsage(folder.paths, folder.busy, "10.0.0.1-254");
    ASSERT_TRUE(quiet);
    EXPECT_EQ(quiet->sweeps, 1);
    EXPECT_TRUE(quiet->addresses.empty());
    EXPECT_EQ(db::blockPicture("10.0.0.1-254", *quiet).count(CellFill::Free), 254);
    EXPECT_EQ(db::blockPicture("10.0.0.1-254", *quiet).count(CellFill::NotInRange), 2) << ".0 and .255";

    EXPECT_FALSE(db::readRunUsage(folder.paths, folder.busy, "192.168.1.0-25"));
    EXPECT_EQ(folder.busy.depth, 0);
}

// A run of 10.77.2.1-40 never asked .41 to .255 nor .0: those have a fill of their own, and an
// address in the range that was asked and stayed silent is still free.
TEST(BlockPicture, AddressesOutsideTheRunsRangeAreToldApart) {
    db::RunUsage usage;
    usage.sweeps = 2;
    usage.latestSweep = QDateTime(QDate(2026, 3, 16), QTime(22, 1));
    usage.addresses = {{"10.77.2.7", 2, usage.latestSweep, {}, {}},
                       {"10.77.2.200", 1, usage.latestSweep, {}, {}}};
    const db::BlockPicture picture = db::blockPicture("10.77.2.1-40", usage);
    struct Row {
        const char* name;
        int octet;
        CellFill fill;
    } rows[] = {
        {"first host, silent", 1, CellFill::Free},
        {"last host, silent", 40, CellFill::Free},
        {"answered", 7, CellFill::Every},
        {"one past the last", 41, CellFill::NotInRange},
        {"the end of the block", 254, CellFill::NotInRange},
        {"an answer from outside the range still shows", 200, CellFill::Some},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(picture.cells[static_cast<size_t>(row.octet)].fill, row.fill);
    }
    EXPECT_EQ(picture.count(CellFill::Free), 39);
    EXPECT_EQ(picture.count(CellFill::NotInRange), 215);
    // A range text that does not name its hosts leaves every address in the range.
    EXPECT_EQ(db::blockPicture("10.77.2.x", usage).count(CellFill::NotInRange), 0);
    // A range whose first host lies above its last asked nobody.
    EXPECT_EQ(db::blockPicture("10.77.2.9-3", usage).count(CellFill::NotInRange), 256 - 2);
}

// When each address answered first and last, and since when it has been silent: an address of the
// block and one from outside it (a reply's source) alike.
TEST(RunUsage, FirstAndLatestAnswerAndSilenceSinceOfEachAddress) {
    test::AppFolder folder;
    test::FakeClock clock;
    db::SavedRuns runs{folder.paths, folder.busy, clock};
    const QDateTime day(QDate(2026, 5, 1), QTime(0, 0));
    const std::vector<QStringList> sweeps = {
        {"10.5.1.4", "10.9.9.9"}, {"10.5.1.4"}, {"10.9.9.9", "10.5.1.7"}, {"10.5.1.7"}};
    for (size_t i = 0; i < sweeps.size(); ++i) {
        clock.time = day.addDays(static_cast<int>(i));
        std::vector<db::ResultRow> rows;
        for (const QString& address : sweeps[i])
            rows.push_back({address, 2});
        ASSERT_EQ(runs.SaveRun("10.5.1.1-20", rows), db::SaveOutcome::Saved);
    }
    const auto usage = db::readRunUsage(folder.paths, folder.busy, "10.5.1.1-20");
    ASSERT_TRUE(usage);
    EXPECT_EQ(usage->logged, 4);
    const auto dayOf = [&day](int i) { return i < 0 ? QDateTime() : day.addDays(i); };
    struct Row {
        const char* address;
        int count, first, last, silentSince; // sweep numbers; -1: none
    } rows[] = {
        {"10.5.1.4", 2, 0, 1, 2},
        {"10.5.1.7", 2, 2, 3, -1},
        {"10.9.9.9", 2, 0, 2, 3},
    };
    ASSERT_EQ(usage->addresses.size(), std::size(rows));
    for (size_t i = 0; i < std::size(rows); ++i) {
        const db::AddressUsage& a = usage->addresses[i];
        SCOPED_TRACE(rows[i].address);
        EXPECT_EQ(a.address, QString::fromLatin1(rows[i].address));
        EXPECT_EQ(a.sweepsAnswered, rows[i].count);
        EXPECT_EQ(a.firstAnswered, dayOf(rows[i].first));
        EXPECT_EQ(a.lastAnswered, dayOf(rows[i].last));
        EXPECT_EQ(a.silentSince, dayOf(rows[i].silentSince));
    }
}
