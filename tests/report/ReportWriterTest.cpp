#include "report/ReportWriter.h"
#include "ReportTestSupport.h"
#include "db/Database.h"
#include "db/ReportTables.h"
#include "tests/support/fakes/FakeMessageBoxes.h"
#include "tests/support/fakes/FakeServices.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cerrno>
#include <gtest/gtest.h>

using namespace kestrion;
using test::addressesOf;
using test::FakeMessageBoxes;
using test::FakeShell;
using test::ReadOnlyFolder;
using test::ReportFolder;

namespace {

QByteArray expectedFile(const char* name) {
    QFile file(QStringLiteral(KESTRION_REPORT_TEST_DATA "/") + QLatin1String(name));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name;
    return file.readAll();
}

// Run 12 of the block 192.168.1 with the given sweeps, built and written.
struct WrittenReport {
    ReportFolder folder;
    FakeMessageBoxes boxes;
    FakeShell shell;
    bool written = false;

    explicit WrittenReport(const std::vector<QStringList>& sweeps) {
        folder.addRun(12, QStringLiteral("192.168.1.1-254"), QStringLiteral("2026-03-14 09:26:53"), 3);
        for (const QStringList& sweep : sweeps)
            folder.addSweep(12, sweep);
        written = write();
    }
    bool write() {
        db::BuildReportTables(folder.paths, folder.busy, 12);
        return report::WriteFreeIPReport(folder.paths, folder.busy, boxes, shell);
    }
    QList<QByteArray> lines() const {
        QList<QByteArray> result = folder.reportBytes().split('\n');
        EXPECT_EQ(result.takeLast(), QByteArray()) << "the file ends with CR LF";
        for (QByteArray& line : result) {
            EXPECT_TRUE(line.endsWith('\r'));
            line.chop(1);
        }
        return result;
    }
};

} // namespace

TEST(WriteFreeIPReport, OneAnsweringAddressGivesTheExpectedFileByteForByte) {
    WrittenReport report({{"192.168.1.20"}, {"192.168.1.20"}, {}});

    EXPECT_TRUE(report.written);
    EXPECT_EQ(report.folder.reportBytes(), expectedFile("IPReport-one-used.txt"));
    EXPECT_EQ(report.shell.opened, QStringList{report.folder.reportPath()});
    EXPECT_TRUE(report.boxes.shown.empty());
    EXPECT_EQ(report.folder.busy.depth, 0);
}

TEST(WriteFreeIPReport, SectionsEndAsTheirCountsRequire) {
    const QByteArray hyphens(68, '-');
    const QByteArray freeHeading("Free Addresses (never returned a ping in any run) - ");
    const QByteArray usedHeading("Used Addresses (returned at least one ping) - ");
    struct Row {
        const char* name;
        QStringList answered;
        QByteArray lastFreeLine; // empty: the free section has no address line
        QList<QByteArray> tail;  // the file's last lines, from the used heading on
    };
    const Row rows[] = {
        {"free a multiple of three, used two",
         {"192.168.1.1", "192.168.1.254"},
         "192.168.1.251        192.168.1.252        192.168.1.253",
         {usedHeading + "2 addresses", "", "192.168.1.1          192.168.1.254        "}},
        {"used a multiple of three",
         {"192.168.1.10", "192.168.1.11", "192.168.1.12"},
         "192.168.1.253        192.168.1.254        ",
         {usedHeading + "3 addresses", "", "192.168.1.10         192.168.1.11         192.168.1.12"}},
        {"no free address", addressesOf("192.168.1", 1, 254), {}, {}},
        {"no used address: only the broadcast address answered",
         {"192.168.1.255"},
         "192.168.1.253        192.168.1.254        ",
         {usedHeading + "0 addresses", ""}},
    };
    for (const Row& row : rows) {
        WrittenReport report({row.answered});
        ASSERT_TRUE(report.written) << row.name;
        const QList<QByteArray> lines = report.lines();
        const qsizetype freeHeadingAt = 8;
        ASSERT_TRUE(lines[freeHeadingAt].startsWith(freeHeading)) << row.name;
        ASSERT_EQ(lines[freeHeadingAt + 1], QByteArray()) << row.name;
        const qsizetype secondHyphens = lines.indexOf(hyphens, freeHeadingAt);
        ASSERT_GT(secondHyphens, 0) << row.name;
        const qsizetype freeCount = lines[freeHeadingAt].mid(freeHeading.size()).split(' ').first().toInt();
        EXPECT_EQ(secondHyphens - (freeHeadingAt + 2), (freeCount + 2) / 3) << row.name << ": free lines";
        if (row.lastFreeLine.isEmpty()) {
            EXPECT_EQ(lines[freeHeadingAt], freeHeading + "0 addresses") << row.name;
            EXPECT_EQ(secondHyphens, freeHeadingAt + 2) << row.name;
            EXPECT_EQ(lines.mid(secondHyphens + 1, 2), QList<QByteArray>({usedHeading + "254 addresses", ""}))
                << row.name;
            EXPECT_EQ(lines.last(), "192.168.1.253        192.168.1.254        ") << row.name;
        } else {
            EXPECT_EQ(lines[secondHyphens - 1], row.lastFreeLine) << row.name;
            EXPECT_EQ(lines.mid(secondHyphens + 1), row.tail) << row.name;
        }
    }
}

TEST(WriteFreeIPReport, TwoReportsInARowAreIdenticalAndReplaceAnOlderFile) {
    WrittenReport report({{"192.168.1.20"}});
    const QByteArray first = report.folder.reportBytes();

    // A longer file of the same name must be replaced, not overwritten from the start.
    QFile old(report.folder.reportPath());
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write(first + QByteArray(5000, 'x'));
    old.close();

    EXPECT_TRUE(report.write());
    EXPECT_EQ(report.folder.reportBytes(), first);
    EXPECT_EQ(report.shell.opened.size(), 2);
}

// In an application folder others may write, a link planted at IPReport.txt must not carry the
// report (with run texts anyone could have typed) into another user's file.
TEST(WriteFreeIPReport, APlantedLinkIsReplacedNotFollowed) {
    QTemporaryDir elsewhere;
    const QString target = elsewhere.filePath(".bash_login");
    WrittenReport report({{"192.168.1.20"}});
    const QByteArray expected = report.folder.reportBytes();
    ASSERT_TRUE(QFile::remove(report.folder.reportPath()));
    ASSERT_TRUE(QFile::link(target, report.folder.reportPath()));

    EXPECT_TRUE(report.write());

    EXPECT_FALSE(QFileInfo::exists(target));
    EXPECT_FALSE(QFileInfo(report.folder.reportPath()).isSymLink());
    EXPECT_EQ(report.folder.reportBytes(), expected);
    EXPECT_EQ(report.shell.opened.last(), report.folder.reportPath());
}

TEST(WriteFreeIPReport, WithoutReportRowsSaysDataNotFoundAndWritesNothing) {
    struct Row {
        const char* name;
        int16_t runNo;
    };
    const Row rows[] = {{"a run without answers", 5}, {"run number 0", 0}};
    for (const Row& row : rows) {
        ReportFolder folder;
        FakeMessageBoxes boxes;
        FakeShell shell;
        folder.addRun(5, QStringLiteral("10.1.1.1-254"), QStringLiteral("2026-03-14 09:26:53"), 2);
        folder.addRun(6, QStringLiteral("10.1.2.1-254"), QStringLiteral("2026-03-14 09:26:53"), 2);
        folder.addSweep(6, {"10.1.2.3"});

        db::BuildReportTables(folder.paths, folder.busy, row.runNo);
        EXPECT_FALSE(report::WriteFreeIPReport(folder.paths, folder.busy, boxes, shell)) << row.name;

        ASSERT_EQ(boxes.shown.size(), 1u) << row.name;
        EXPECT_EQ(boxes.shown[0].title, QStringLiteral("Data Not Found")) << row.name;
        EXPECT_EQ(boxes.shown[0].text,
                  QStringLiteral("No data found.  Please make sure there are valid saved runs for this IP."))
            << row.name;
        EXPECT_EQ(boxes.shown[0].buttons, platform::MsgButtons::Ok) << row.name;
        EXPECT_EQ(boxes.shown[0].icon, platform::MsgIcon::None) << row.name;
        EXPECT_FALSE(QFile::exists(folder.reportPath())) << row.name;
        EXPECT_TRUE(shell.opened.isEmpty()) << row.name;
        EXPECT_EQ(folder.busy.depth, 0) << row.name;
    }
}

TEST(WriteFreeIPReport, AReadOnlyDataFolderIsAFileFailureWithNumberAndText) {
    struct Row {
        const char* name;
        bool earlierReport;
    };
    const Row rows[] = {{"no earlier report: the file cannot be created", false},
                        {"an earlier report cannot be deleted", true}};
    for (const Row& row : rows) {
        WrittenReport report({{"192.168.1.20"}});
        if (!row.earlierReport) {
            ASSERT_TRUE(QFile::remove(report.folder.reportPath()));
        }
        const QByteArray before = report.folder.reportBytes();
        ReadOnlyFolder readOnly(report.folder.paths.dataFolder);
        if (!readOnly.failure.isEmpty())
            GTEST_SKIP() << "cannot make a folder read-only here: " << readOnly.failure.toStdString();

        try {
            report::WriteFreeIPReport(report.folder.paths, report.folder.busy, report.boxes, report.shell);
            ADD_FAILURE() << row.name << ": no failure";
        } catch (const db::DbError& error) {
            EXPECT_TRUE(error.number() == EROFS || error.number() == EACCES)
                << row.name << ": " << error.number();
            EXPECT_TRUE(error.text().contains(report.folder.reportPath())) << error.text().toStdString();
            EXPECT_FALSE(error.text().endsWith(QStringLiteral(": "))) << error.text().toStdString();
        }
        EXPECT_EQ(report.folder.reportBytes(), before) << row.name;
        EXPECT_EQ(report.shell.opened.size(), 1) << row.name << ": only the first report was opened";
        EXPECT_EQ(report.folder.busy.depth, 0) << row.name;
    }
}
