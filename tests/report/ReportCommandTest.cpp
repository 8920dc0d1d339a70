#include "report/ReportCommand.h"
#include "ReportTestSupport.h"
#include "tests/support/fakes/FakeMessageBoxes.h"
#include "tests/support/fakes/FakeServices.h"

#include <QCursor>
#include <QFile>
#include <QGuiApplication>
#include <gtest/gtest.h>
#include <stdexcept>

using namespace kestrion;
using report::FreeIPReportCommand;
using test::FakeMessageBoxes;
using test::FakeShell;
using test::ReadOnlyFolder;
using test::ReportFolder;

namespace {

// The status texts in order, each with whether the hourglass showed when it was set.
struct StatusRecord {
    QStringList texts;
    QList<bool> hourglass;
    void set(const QString& text) {
        texts.append(text);
        const QCursor* cursor = QGuiApplication::overrideCursor();
        hourglass.append(cursor && cursor->shape() == Qt::WaitCursor);
    }
};

struct CommandRig {
    ReportFolder folder;
    FakeMessageBoxes boxes;
    FakeShell shell;
    StatusRecord status;
    QStringList asked;
    std::function<std::optional<int16_t>(const QString&)> findRunNo =
        [this](const QString& range) -> std::optional<int16_t> {
        asked.append(range);
        if (range == QStringLiteral("10.4.4.1-254"))
            return 9;
        return std::nullopt;
    };
    FreeIPReportCommand command{folder.paths, folder.busy, boxes, shell,
                                [this](const QString& range) { return findRunNo(range); }};

    CommandRig() {
        QObject::connect(&command, &FreeIPReportCommand::statusText,
                         [this](const QString& text) { status.set(text); });
        folder.addRun(9, QStringLiteral("10.4.4.1-254"), QStringLiteral("2026-03-14 09:26:53"), 1);
        folder.addSweep(9, {"10.4.4.4"});
    }
};

} // namespace

TEST(FreeIPReportCommand, TellsEachStepUnderTheHourglass) {
    struct Row {
        const char* name;
        QString range;
        QStringList texts;
        bool reportWritten;
        QStringList statusWhileBoxOpen; // one entry per box shown
    };
    const Row rows[] = {
        {"a saved run",
         QStringLiteral("10.4.4.1-254"),
         {"Reading from database...", "Generating tables...", "Preparing report...", "Ready."},
         true,
         {}},
        {"no saved run with that range",
         QStringLiteral("10.4.5.1-254"),
         {"Reading from database...", "Ready."},
         false,
         {"Reading from database..."}},
    };
    for (const Row& row : rows) {
        CommandRig rig;
        QStringList statusWhileBoxOpen;
        rig.boxes.whileOpen = [&](const FakeMessageBoxes::Box&) {
            statusWhileBoxOpen.append(rig.status.texts.back());
        };
        rig.command.run(row.range);

        EXPECT_EQ(rig.asked, QStringList{row.range}) << row.name;
        EXPECT_EQ(statusWhileBoxOpen, row.statusWhileBoxOpen) << row.name;
        for (const FakeMessageBoxes::Box& box : rig.boxes.shown) {
            EXPECT_EQ(box.title, QStringLiteral("Kestrion error.")) << row.name;
            EXPECT_EQ(box.text, QStringLiteral("Error. No matching record in the database.  Please make sure "
                                               "an IP is selected."))
                << row.name;
            EXPECT_EQ(box.buttons, platform::MsgButtons::Ok) << row.name;
            EXPECT_EQ(box.icon, platform::MsgIcon::None) << row.name;
        }
        EXPECT_EQ(rig.status.texts, row.texts) << row.name;
        EXPECT_EQ(rig.status.hourglass, QList<bool>(row.texts.size(), true)) << row.name;
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr) << row.name;
        EXPECT_EQ(QFile::exists(rig.folder.reportPath()), row.reportWritten) << row.name;
        EXPECT_EQ(rig.shell.opened.size(), row.reportWritten ? 1 : 0) << row.name;
        EXPECT_EQ(rig.folder.column(QStringLiteral("SELECT count(*) FROM tblFreeIPReport;")),
                  QStringList{row.reportWritten ? "254" : "0"})
            << row.name;
    }
}

TEST(FreeIPReportCommand, AFailureLeavesNoHourglassBehind) {
    struct Row {
        const char* name;
        bool readOnlyFolder;
        bool findRunNoFails;
        QStringList texts;
    };
    const Row rows[] = {
        {"the run number cannot be read", false, true, {"Reading from database..."}},
        {"a read-only data folder", true, false, {"Reading from database...", "Generating tables..."}},
    };
    for (const Row& row : rows) {
        CommandRig rig;
        if (row.findRunNoFails)
            rig.findRunNo = [](const QString&) -> std::optional<int16_t> {
                throw db::DbError(11, QStringLiteral("malformed"));
            };
        std::optional<ReadOnlyFolder> readOnly;
        if (row.readOnlyFolder) {
            readOnly.emplace(rig.folder.paths.dataFolder);
            if (!readOnly->failure.isEmpty())
                GTEST_SKIP() << "cannot make a folder read-only here: " << readOnly->failure.toStdString();
        }

        try {
            rig.command.run(QStringLiteral("10.4.4.1-254"));
            ADD_FAILURE() << row.name << ": no failure";
        } catch (const db::DbError& error) {
            EXPECT_NE(error.number(), 0) << row.name;
            EXPECT_FALSE(error.text().isEmpty()) << row.name;
        }
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr) << row.name;
        EXPECT_EQ(rig.status.texts, row.texts) << row.name;
        EXPECT_FALSE(QFile::exists(rig.folder.reportPath())) << row.name;
        EXPECT_TRUE(rig.shell.opened.isEmpty()) << row.name;
        EXPECT_EQ(rig.folder.busy.depth, 0) << row.name;
    }
}
