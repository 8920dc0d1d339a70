// sweep and run-due in this process over the fake echo service and clock: what is sent, printed,
// saved and deleted, and what stops them.
#include "CliFixture.h"

#include "sweep/SweepRules.h"

#include <QDir>
#include <QFile>

namespace kestrion::test {
namespace {

using platform::echo_status::DestNetUnreachable;

class CliSweep : public CliFixture {
protected:
    void store(const char* key, const char* value) {
        world.settings->write(QStringLiteral("Settings"), QLatin1String(key), QLatin1String(value));
    }
    long long runs(const char* range) const {
        return world.folder.count(QStringLiteral("SELECT numberofruns FROM tblSavedRuns WHERE runip = '%1';")
                                      .arg(range)
                                      .toUtf8()
                                      .constData());
    }
    QStringList saved(const char* range) const {
        return world.folder.column(
            QStringLiteral("SELECT successIP || ' ' || SuccessRTT || ' ' || RunDate FROM "
                           "tblSuccess JOIN tblSavedRuns USING (RunNo) WHERE runip = '%1' "
                           "ORDER BY tblSuccess.rowid;")
                .arg(range));
    }
    QStringList sentTo() const {
        QStringList addresses;
        for (const FakeEcho::Sent& s : world.echo.sent)
            addresses << QStringLiteral("%1.%2.%3.%4")
                             .arg(s.destination & 0xff)
                             .arg((s.destination >> 8) & 0xff)
                             .arg((s.destination >> 16) & 0xff)
                             .arg(s.destination >> 24);
        return addresses;
    }
};

TEST_F(CliSweep, AnsweringAddressesAreLinesAndUnreachableOnesGoOnWithoutARow) {
    world.echo.answer("10.0.0.1", 5);
    world.echo.fail("10.0.0.2", DestNetUnreachable, 1, FakeEcho::value("10.0.0.254")); // a router's 3/0
    world.echo.answerFrom("10.0.0.3", "10.0.0.77");                                    // someone else answers
    world.echo.answer("10.0.0.4", 12);
    world.components.names["10.0.0.4"] = "printer.lab";

    EXPECT_EQ(run({"sweep", "10.0.0.1-5"}), cli::ExitDone);

    EXPECT_EQ(sentTo(), (QStringList{"10.0.0.1", "10.0.0.2", "10.0.0.3", "10.0.0.4", "10.0.0.5"}));
    EXPECT_EQ(outLines(), (QStringList{"10.0.0.1\tNot available\t5", "10.0.0.4\tprinter.lab\t12"}));
    // The two questions the window would ask, said and answered as a scheduled run answers them.
    ASSERT_EQ(errLines().size(), 2) << err.str();
    EXPECT_TRUE(errLines()[0].startsWith("kestrion-cli: Kestrion Error: ")) << errLines()[0].toStdString();
    EXPECT_TRUE(errLines()[1].startsWith("kestrion-cli: Kestrion Alert: ")) << errLines()[1].toStdString();
    EXPECT_EQ(runs("10.0.0.1-5"), -1) << "nothing is saved without --save";
}

TEST_F(CliSweep, StoredOptionsAreTheDefaultsAndOptionsOverrideThem) {
    store("Timeout", "1000");
    store("PacketSize", "8");
    EXPECT_EQ(run({"sweep", "10.0.0.9"}), cli::ExitDone);
    ASSERT_EQ(world.echo.sent.size(), 1u);
    EXPECT_EQ(world.echo.sent[0].timeoutMs, 1000);
    EXPECT_EQ(world.echo.sent[0].data, std::vector<uint8_t>(8, 'T'));

    world.echo.sent.clear();
    EXPECT_EQ(run({"sweep", "--timeout", "700", "10.0.0.9", "--size=0"}), cli::ExitDone);
    ASSERT_EQ(world.echo.sent.size(), 1u);
    EXPECT_EQ(world.echo.sent[0].timeoutMs, 700);
    EXPECT_TRUE(world.echo.sent[0].data.empty());

    // A stored time-out under 1 ms is read as the default, as the window reads it.
    store("Timeout", "0");
    world.echo.sent.clear();
    EXPECT_EQ(run({"sweep", "10.0.0.9"}), cli::ExitDone);
    ASSERT_EQ(world.echo.sent.size(), 1u);
    EXPECT_EQ(world.echo.sent[0].timeoutMs, 3000);
}

TEST_F(CliSweep, NoNamesLooksNothingUp) {
    world.echo.answer("10.0.0.4", 1);
    world.components.names["10.0.0.4"] = "printer.lab";

    EXPECT_EQ(run({"sweep", "10.0.0.4", "--no-names"}), cli::ExitDone);

    EXPECT_EQ(outLines(), QStringList{"10.0.0.4\tNot available\t1"});
    EXPECT_EQ(world.components.created, 0);
    EXPECT_TRUE(err.str().empty()) << err.str();
}

TEST_F(CliSweep, SaveCountsTheSweepUnderTheSaveButtonsRangeAndCompacts) {
    world.clock.time = QDateTime(QDate(2026, 3, 14), QTime(14, 30, 59));
    world.echo.answer("10.0.0.2", 3);
    world.echo.answer("10.0.0.3", 4);

    EXPECT_EQ(run({"sweep", "10.0.0.1-3", "--save"}), cli::ExitDone);
    EXPECT_EQ(run({"sweep", "10.0.0.1-3", "--save"}), cli::ExitDone);

    EXPECT_EQ(runs("10.0.0.1-3"), 2);
    EXPECT_EQ(saved("10.0.0.1-3"),
              (QStringList{"10.0.0.2 3 2026-03-14 14:30:00", "10.0.0.3 4 2026-03-14 14:30:00",
                           "10.0.0.2 3 2026-03-14 14:30:00", "10.0.0.3 4 2026-03-14 14:30:00"}));
    EXPECT_TRUE(QFile::exists(world.folder.file("KRDB.bak")));
    EXPECT_TRUE(QFile::exists(world.folder.file("KRDB.old")));
}

// A script must tell "saved, only the backups failed" from "not saved", or its retry counts the
// sweep twice. Here a folder stands where the backup goes, so its renewal fails after the commit.
TEST_F(CliSweep, ASaveWhoseCompactionFailsSaysTheSweepIsStored) {
    world.echo.answer("10.0.0.2", 3);
    ASSERT_TRUE(QDir(world.folder.dir.path()).mkpath("KRDB.bak/inside"));

    EXPECT_EQ(run({"sweep", "10.0.0.1-3", "--save"}), cli::ExitStoredNotCompacted);
    EXPECT_EQ(static_cast<int>(cli::ExitStoredNotCompacted), 3);

    EXPECT_EQ(runs("10.0.0.1-3"), 1);
    EXPECT_EQ(saved("10.0.0.1-3").size(), 1);
    ASSERT_EQ(errLines().size(), 2) << err.str();
    EXPECT_TRUE(errLines()[0].startsWith("kestrion-cli: Run-time error '21': "))
        << errLines()[0].toStdString();
    EXPECT_TRUE(errLines()[0].contains("KRDB.bak")) << errLines()[0].toStdString();
    EXPECT_TRUE(errLines()[1].startsWith("kestrion-cli: the sweep was saved; only the compaction"))
        << errLines()[1].toStdString();
}

TEST_F(CliSweep, CtrlCStopsBeforeTheNextAddressAndSavesNothing) {
    for (const char* a : {"10.0.0.1", "10.0.0.2", "10.0.0.3", "10.0.0.4"})
        world.echo.answer(a, 1);
    bool pressed = false;
    interrupted = [&] { return pressed; };
    world.echo.onClosed = [&](uint32_t destination) { pressed = destination == FakeEcho::value("10.0.0.2"); };

    EXPECT_EQ(run({"sweep", "10.0.0.1-4", "--save"}), cli::ExitInterrupted);

    EXPECT_EQ(sentTo(), (QStringList{"10.0.0.1", "10.0.0.2"}));
    EXPECT_EQ(outLines(), (QStringList{"10.0.0.1\tNot available\t1", "10.0.0.2\tNot available\t1"}));
    EXPECT_EQ(runs("10.0.0.1-4"), -1);
    EXPECT_FALSE(QFile::exists(world.folder.file("KRDB.bak")));
}

TEST_F(CliSweep, NoEchoSocketSaysWhyAndSavesNothing) {
    world.echo.refusal = "Cannot send echo requests: no ICMP socket.\nRemedy one.\nRemedy two.";

    EXPECT_EQ(run({"sweep", "10.0.0.1-3", "--save"}), cli::ExitFailure);

    EXPECT_EQ(
        errLines(),
        QStringList{"kestrion-cli: Cannot send echo requests: no ICMP socket. Remedy one. Remedy two."});
    EXPECT_EQ(runs("10.0.0.1-3"), -1);
}

TEST_F(CliSweep, SaveWaitsForNobodyWhileTheLockIsHeld) {
    const auto window = holdLock(platform::LockHolder::Window);
    ASSERT_TRUE(window->acquired());

    EXPECT_EQ(run({"sweep", "10.0.0.1-3", "--save"}), cli::ExitFailure);

    EXPECT_TRUE(world.echo.sent.empty()) << "no sweep that could not be saved";
    // Without --save the sweep changes nothing and needs no lock.
    EXPECT_EQ(run({"sweep", "10.0.0.1-3"}), cli::ExitDone);
    EXPECT_EQ(world.echo.sent.size(), 3u);
}

// --parallel: one handle for the whole range, the same lines in address order, and the answers the
// sequential sweep says one by one said once, at the end.
TEST_F(CliSweep, ParallelSendsToEveryAddressOnOneHandleAndPrintsTheSameLines) {
    world.echo.seed = 5;
    world.echo.answer("10.0.0.1", 5);
    world.echo.fail("10.0.0.2", DestNetUnreachable, 1, FakeEcho::value("10.0.0.254"));
    world.echo.answerFrom("10.0.0.3", "10.0.0.77");
    world.echo.answer("10.0.0.4", 12);
    world.components.names["10.0.0.4"] = "printer.lab";

    EXPECT_EQ(run({"sweep", "10.0.0.1-5", "--parallel", "--interval", "2"}), cli::ExitDone);

    EXPECT_EQ(sentTo(), (QStringList{"10.0.0.1", "10.0.0.2", "10.0.0.3", "10.0.0.4", "10.0.0.5"}));
    EXPECT_EQ(world.echo.opened, 1) << "one batch handle, no handle per address";
    EXPECT_EQ(outLines(), (QStringList{"10.0.0.1\tNot available\t5", "10.0.0.4\tprinter.lab\t12"}));
    ASSERT_FALSE(errLines().isEmpty());
    EXPECT_TRUE(errLines()[0].startsWith("kestrion-cli: Kestrion Alert: 2 addresses were not reached"))
        << err.str();
    EXPECT_EQ(err.str().find("Kestrion Error"), std::string::npos) << "said once, not per address";
}

TEST_F(CliSweep, SweepArgumentErrors) {
    struct Row {
        const char* name;
        QStringList arguments;
        const char* message;
    };
    const Row rows[] = {
        {"no range",
         {"sweep"},
         "kestrion-cli: sweep: missing argument; usage: sweep RANGE [--timeout MS] [--size "
         "BYTES] [--parallel [--interval MS]] [--save] [--names|--no-names] [--format FORMAT]"},
        {"interval without --parallel",
         {"sweep", "10.0.0.1", "--interval", "5"},
         "kestrion-cli: sweep: --interval paces a parallel sweep; give --parallel too"},
        {"interval 0",
         {"sweep", "10.0.0.1", "--parallel", "--interval", "0"},
         "kestrion-cli: sweep: --interval: '0' is not a whole number of milliseconds from 1 to 1000"},
        {"first host 0",
         {"sweep", "10.0.0.0-5"},
         "kestrion-cli: sweep: '10.0.0.0-5': 0 must be a number between 1 and 254"},
        {"first above last",
         {"sweep", "10.0.0.9-5"},
         "kestrion-cli: sweep: '10.0.0.9-5': the first host is above the last"},
        {"a name",
         {"sweep", "lab.example"},
         "kestrion-cli: sweep: 'lab.example' is not a range such as 192.168.1.1-254"},
        {"time-out 0",
         {"sweep", "10.0.0.1", "--timeout", "0"},
         "kestrion-cli: sweep: --timeout: '0' is not a whole number of milliseconds from 1 to 32767"},
        {"time-out too long",
         {"sweep", "10.0.0.1", "--timeout=40000"},
         "kestrion-cli: sweep: --timeout: '40000' is not a whole number of milliseconds from 1 to 32767"},
        {"negative size",
         {"sweep", "10.0.0.1", "--size", "-1"},
         "kestrion-cli: sweep: --size: '-1' is not a whole number of bytes from 0 to 32767"},
        {"save with a value",
         {"sweep", "10.0.0.1", "--save=yes"},
         "kestrion-cli: sweep: '--save' takes no value"},
        {"names both ways",
         {"sweep", "10.0.0.1", "--names", "--no-names"},
         "kestrion-cli: sweep: --names and --no-names exclude each other"},
        {"two ranges",
         {"sweep", "10.0.0.1", "10.0.0.2"},
         "kestrion-cli: sweep: unexpected argument '10.0.0.2'"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(run(row.arguments), cli::ExitUsage);
        EXPECT_EQ(errLines().value(0), QString::fromUtf8(row.message));
        EXPECT_EQ(errLines().value(1), QStringLiteral("Try 'kestrion-cli sweep --help'."));
        EXPECT_TRUE(out.str().empty());
    }
    EXPECT_TRUE(world.echo.sent.empty());
}

class CliRunDue : public CliSweep {
protected:
    void SetUp() override {
        world.clock.time = QDateTime(QDate(2026, 3, 14), QTime(9, 30, 5));
        addRun(4, "10.0.0.1-254", "2026-03-01 08:00:00", 1);
        addRun(5, "10.0.5.1-20", "2026-03-01 08:00:00", 1);
    }
};

TEST_F(CliRunDue, TheScheduleOfThisMinuteIsSweptSavedAndRemoved) {
    store("Timeout", "500");
    store("PacketSize", "8");
    world.echo.answer("10.0.0.7", 2);
    addSchedule("2026-03-14 09:29:00", "10.0.5.1-20"); // its minute has passed
    addSchedule("2026-03-14 09:30:00", "10.0.0.1-254");
    addSchedule("2026-03-14 09:31:00", "10.0.5.1-20");

    EXPECT_EQ(run({"run-due"}), cli::ExitDone);

    // 1 to 254 of the block, whatever the saved range's own hosts, with the stored options.
    ASSERT_EQ(world.echo.sent.size(), 254u);
    EXPECT_EQ(sentTo().front(), "10.0.0.1");
    EXPECT_EQ(sentTo().back(), "10.0.0.254");
    EXPECT_EQ(world.echo.sent[0].timeoutMs, 500);
    EXPECT_EQ(world.echo.sent[0].data.size(), 8u);
    EXPECT_EQ(runs("10.0.0.1-254"), 2);
    EXPECT_EQ(saved("10.0.0.1-254"), QStringList{"10.0.0.7 2 2026-03-14 09:30:00"});
    EXPECT_EQ(schedules(), QStringList{"2026-03-14 09:31:00 10.0.5.1-20"});
    EXPECT_EQ(outLines(),
              QStringList{"Scheduled run complete: 2026-03-14 09:30 10.0.0.1-254, 1 addresses answered"});
    ASSERT_EQ(errLines().size(), 1) << err.str();
    EXPECT_TRUE(errLines()[0].startsWith("kestrion-cli: Schedule Expired: ")) << errLines()[0].toStdString();
    EXPECT_TRUE(errLines()[0].endsWith("Address: 10.0.5.1-20"));
}

// The stored ParallelSweep (the window's "Send requests in parallel") makes run-due sweep in parallel,
// asking nobody, as without it.
TEST_F(CliRunDue, TheStoredParallelOptionSweepsTheBlockAtOnce) {
    store("ParallelSweep", "True");
    world.echo.answer("10.0.0.7", 2);
    world.echo.fail("10.0.0.9", DestNetUnreachable, 1, FakeEcho::value("10.0.0.254"));
    addSchedule("2026-03-14 09:30:00", "10.0.0.1-254");

    EXPECT_EQ(run({"run-due"}), cli::ExitDone);

    EXPECT_EQ(world.echo.sent.size(), 254u);
    EXPECT_EQ(world.echo.opened, 1) << "one batch handle";
    EXPECT_EQ(saved("10.0.0.1-254"), QStringList{"10.0.0.7 2 2026-03-14 09:30:00"});
    EXPECT_EQ(outLines(),
              QStringList{"Scheduled run complete: 2026-03-14 09:30 10.0.0.1-254, 1 addresses answered"});
}

TEST_F(CliRunDue, NothingIsDueOutsideTheScheduleMinute) {
    addSchedule("2026-03-14 09:31:00", "10.0.0.1-254");
    world.clock.time = QDateTime(QDate(2026, 3, 14), QTime(9, 30, 59));

    EXPECT_EQ(run({"run-due"}), cli::ExitDone);

    EXPECT_TRUE(world.echo.sent.empty());
    EXPECT_EQ(schedules(), QStringList{"2026-03-14 09:31:00 10.0.0.1-254"});
    EXPECT_TRUE(out.str().empty());
    EXPECT_TRUE(err.str().empty());
}

TEST_F(CliRunDue, EverySchedulesOfThisMinuteRuns) {
    // Stored with seconds (by an older dialog), two schedules share one minute.
    addSchedule("2026-03-14 09:30:00", "10.0.0.1-254");
    addSchedule("2026-03-14 09:30:30", "10.0.5.1-20");

    EXPECT_EQ(run({"run-due"}), cli::ExitDone);

    EXPECT_EQ(world.echo.sent.size(), 2u * 254u);
    EXPECT_EQ(runs("10.0.0.1-254"), 2);
    EXPECT_EQ(runs("10.0.5.1-20"), 2);
    EXPECT_TRUE(schedules().isEmpty());
}

TEST_F(CliRunDue, ARunningWindowKeepsItsSchedules) {
    addSchedule("2026-03-14 09:30:00", "10.0.0.1-254");
    addSchedule("2026-03-14 09:00:00", "10.0.5.1-20");
    const QByteArray before = world.folder.bytes("KRdb.mdb");
    const auto window = holdLock(platform::LockHolder::Window);
    ASSERT_TRUE(window->acquired());

    EXPECT_EQ(run({"run-due"}), cli::ExitDone);

    EXPECT_TRUE(world.echo.sent.empty());
    EXPECT_EQ(world.folder.bytes("KRdb.mdb"), before) << "not even the past schedule is expired";
    EXPECT_TRUE(out.str().empty());
    EXPECT_TRUE(err.str().empty());
}

TEST_F(CliRunDue, WaitsForACommandAtWorkThenCarriesOutWhatFellDueMeanwhile) {
    world.clock.time = QDateTime(QDate(2026, 3, 14), QTime(9, 30, 50));
    addSchedule("2026-03-14 09:29:00", "10.0.5.1-20");  // passed before run-due started
    addSchedule("2026-03-14 09:30:00", "10.0.0.1-254"); // due at the start
    addSchedule("2026-03-14 09:31:00", "10.0.5.1-20");  // falls due while run-due waits
    addSchedule("2026-03-14 09:40:00", "10.0.0.1-254"); // not yet due when the command has ended
    auto command = holdLock(platform::LockHolder::Command);
    ASSERT_TRUE(command->acquired());
    // run-due looks for Ctrl-C while it waits: the third look finds the command ended, two minutes on.
    int looks = 0;
    interrupted = [&] {
        if (++looks == 3) {
            world.clock.time = QDateTime(QDate(2026, 3, 14), QTime(9, 32, 10));
            command.reset();
        }
        return false;
    };

    EXPECT_EQ(run({"run-due"}), cli::ExitDone) << err.str();

    EXPECT_GE(looks, 3);
    EXPECT_EQ(runs("10.0.0.1-254"), 2);
    EXPECT_EQ(runs("10.0.5.1-20"), 2);
    EXPECT_EQ(schedules(), QStringList{"2026-03-14 09:40:00 10.0.0.1-254"});
    ASSERT_EQ(errLines().size(), 1) << err.str();
    EXPECT_TRUE(errLines()[0].startsWith("kestrion-cli: Schedule Expired: ")) << errLines()[0].toStdString();
    EXPECT_TRUE(errLines()[0].endsWith("Address: 10.0.5.1-20"));
    EXPECT_EQ(outLines().size(), 2);
}

TEST_F(CliRunDue, ACommandThatHoldsTheLockTooLongLeavesTheSchedulesStored) {
    addSchedule("2026-03-14 09:00:00", "10.0.5.1-20");
    addSchedule("2026-03-14 09:30:00", "10.0.0.1-254");
    const QByteArray before = world.folder.bytes("KRdb.mdb");
    const auto command = holdLock(platform::LockHolder::Command);
    ASSERT_TRUE(command->acquired());
    lockWait = std::chrono::milliseconds(300);

    EXPECT_EQ(run({"run-due"}), cli::ExitFailure);

    EXPECT_TRUE(world.echo.sent.empty());
    EXPECT_EQ(world.folder.bytes("KRdb.mdb"), before);
    EXPECT_EQ(errLines(), QStringList{"kestrion-cli: run-due: another kestrion-cli held the database's lock "
                                      "for longer than run-due waits; the schedules stay stored"});
}

TEST_F(CliRunDue, WithoutAnEchoSocketTheScheduleIsUsedUpAndNothingSaved) {
    world.echo.refusal = "Cannot send echo requests.\nRemedy.";
    addSchedule("2026-03-14 09:30:00", "10.0.0.1-254");

    EXPECT_EQ(run({"run-due"}), cli::ExitFailure);

    EXPECT_EQ(errLines(),
              QStringList{"kestrion-cli: Scheduled run failed: 2026-03-14 09:30 10.0.0.1-254: Cannot send "
                          "echo requests. Remedy."});
    EXPECT_EQ(runs("10.0.0.1-254"), 1);
    EXPECT_TRUE(schedules().isEmpty());
}

TEST_F(CliRunDue, FromATerminalItAsksNothingAndJudgesAsTheWindowsScheduledRun) {
    world.echo.fail("10.0.0.2", DestNetUnreachable, 1, FakeEcho::value("10.0.0.254")); // a router's 3/0
    world.echo.answerFrom("10.0.0.3", "10.0.0.77");                                    // someone else answers
    world.echo.answer("10.0.0.7", 2);
    addSchedule("2026-03-14 09:30:00", "10.0.0.1-254");
    // Someone at the terminal who would cancel every question put to them.
    std::istringstream answers("cancel\nn\ncancel\n");
    in = &answers;

    EXPECT_EQ(run({"run-due"}), cli::ExitDone) << err.str();

    EXPECT_EQ(world.echo.sent.size(), 254u);
    EXPECT_EQ(saved("10.0.0.1-254"), QStringList{"10.0.0.7 2 2026-03-14 09:30:00"});
    EXPECT_EQ(runs("10.0.0.1-254"), 2);
    EXPECT_TRUE(schedules().isEmpty()) << "used up";
    EXPECT_EQ(answers.tellg(), 0) << "an answer was read";
    EXPECT_FALSE(QString::fromStdString(err.str()).contains("[ok/cancel]")) << err.str();
    EXPECT_FALSE(QString::fromStdString(err.str()).contains("[y/n]")) << err.str();
}

TEST_F(CliRunDue, CtrlCLeavesTheRunUnsaved) {
    addSchedule("2026-03-14 09:30:00", "10.0.0.1-254");
    bool pressed = false;
    interrupted = [&] { return pressed; };
    world.echo.onClosed = [&](uint32_t) { pressed = true; };

    EXPECT_EQ(run({"run-due"}), cli::ExitInterrupted);

    EXPECT_EQ(world.echo.sent.size(), 1u);
    EXPECT_EQ(runs("10.0.0.1-254"), 1);
    EXPECT_EQ(schedules(), QStringList{"2026-03-14 09:30:00 10.0.0.1-254"});
}

} // namespace
} // namespace kestrion::test
