// The history, changes and silent addresses of saved sweeps whose answers the test chose, and the
// record formats read back by real parsers (Qt's JSON reader, the sqlite3 shell's CSV import).
#include "CliFixture.h"

#include "cli/Records.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

namespace kestrion::test {
namespace {

const char* const kRange = "10.9.8.1-6";

QDateTime at(int day, int hour) {
    return QDateTime(QDate(2026, 12, day), QTime(hour, 0));
}

class CliHistory : public CliFixture {
protected:
    // One saved sweep of the run, at `when`, answered by these fourth octets (with times 10 + octet).
    void sweepAt(const QDateTime& when, std::initializer_list<int> answering) {
        world.clock.time = when;
        world.echo.script.clear();
        for (const int octet : answering) {
            const QByteArray address = QByteArray("10.9.8.") + QByteArray::number(octet);
            world.echo.answer(address.constData(), static_cast<uint32_t>(10 + octet));
        }
        ASSERT_EQ(run({"sweep", kRange, "--save", "--no-names"}), cli::ExitDone) << err.str();
    }

    // A scheduled run at `when`: it sweeps the whole block, so .100, outside the run's range, answers.
    int scheduledAt(const QDateTime& when, std::initializer_list<int> answering,
                    const QStringList& more = {}) {
        world.clock.time = when;
        world.echo.script.clear();
        for (const int octet : answering) {
            const QByteArray address = QByteArray("10.9.8.") + QByteArray::number(octet);
            world.echo.answer(address.constData(), static_cast<uint32_t>(10 + octet));
        }
        addSchedule(qPrintable(when.toString("yyyy-MM-dd HH:mm:00")), kRange);
        return run(QStringList{"run-due"} + more);
    }

    // Four sweeps: .2 goes and comes back, .3 goes, .100 (outside the range) is new in the last.
    void fourSweeps(const QStringList& runDueArguments = {}) {
        sweepAt(at(1, 8), {1, 2, 3});
        sweepAt(at(2, 8), {1, 3});
        sweepAt(at(3, 8), {1, 2});
        ASSERT_EQ(scheduledAt(at(4, 8), {1, 2, 100}, runDueArguments), cli::ExitDone) << err.str();
    }

    std::vector<QJsonObject> jsonLines() const {
        std::vector<QJsonObject> objects;
        for (const QString& line : outLines()) {
            QJsonParseError error{};
            const QJsonDocument document = QJsonDocument::fromJson(line.toUtf8(), &error);
            EXPECT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
            EXPECT_TRUE(document.isObject()) << line.toStdString();
            objects.push_back(document.object());
        }
        return objects;
    }

    // The CSV on standard output imported by the sqlite3 shell, then queried.
    QStringList csvQuery(const QString& query) const {
        QTemporaryDir dir;
        const QString file = dir.filePath("out.csv");
        QFile csv(file);
        EXPECT_TRUE(csv.open(QIODevice::WriteOnly));
        csv.write(QByteArray::fromStdString(out.str()));
        csv.close();
        QProcess shell;
        shell.start("sqlite3", {":memory:", ".import --csv " + file + " t", ".mode list", query});
        EXPECT_TRUE(shell.waitForFinished(10000));
        EXPECT_EQ(shell.exitCode(), 0) << shell.readAllStandardError().toStdString();
        QString text = QString::fromUtf8(shell.readAllStandardOutput()).trimmed();
        return text.isEmpty() ? QStringList() : text.split('\n');
    }
};

TEST_F(CliHistory, ChangesNameNewBackAndGoneAgainstChosenSweeps) {
    fourSweeps();

    // The latest against the one before: only .100, outside the range, is new.
    EXPECT_EQ(run({"changes", kRange, "--format", "json"}), cli::ExitDone) << err.str();
    std::vector<QJsonObject> changes = jsonLines();
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0]["change"].toString(), "new");
    EXPECT_EQ(changes[0]["address"].toString(), "10.9.8.100");
    EXPECT_EQ(changes[0]["time_ms"].toInt(), 110);
    EXPECT_EQ(changes[0]["range"].toString(), kRange);
    EXPECT_EQ(changes[0]["earlier"].toString(), "2026-12-03 08:00:00");
    EXPECT_EQ(changes[0]["later"].toString(), "2026-12-04 08:00:00");

    // Since the second sweep: .2 is back (silent then), .3 gone, .100 new; in address order.
    EXPECT_EQ(run({"changes", kRange, "--since", "2026-12-02 09:00", "--format", "json"}), cli::ExitDone);
    changes = jsonLines();
    ASSERT_EQ(changes.size(), 3u);
    EXPECT_EQ(changes[0]["change"].toString() + changes[0]["address"].toString(), "back10.9.8.2");
    EXPECT_EQ(changes[1]["change"].toString() + changes[1]["address"].toString(), "gone10.9.8.3");
    EXPECT_EQ(changes[1]["time_ms"].toInt(), 13) << "a gone address keeps its last time";
    EXPECT_EQ(changes[2]["change"].toString() + changes[2]["address"].toString(), "new10.9.8.100");
    EXPECT_EQ(changes[0]["earlier"].toString(), "2026-12-02 08:00:00");

    // The table says the same for a reader.
    EXPECT_EQ(run({"changes", kRange, "--since", "2026-12-02"}), cli::ExitDone);
    EXPECT_EQ(outLines().value(0), "From 2026-12-01 08:00:00 to 2026-12-04 08:00:00: 1 new, 1 gone");

    // Nothing to compare with: said, and a failure.
    EXPECT_EQ(run({"changes", kRange, "--since", "2026-11-30"}), cli::ExitFailure);
    EXPECT_TRUE(err.str().find("no logged sweep") != std::string::npos) << err.str();
    EXPECT_EQ(run({"changes", kRange, "--since", "yesterday"}), cli::ExitUsage);
    EXPECT_EQ(run({"changes", "10.9.9.1-6"}), cli::ExitFailure);
}

TEST_F(CliHistory, HistoryOfEachAddressAndOfOneAsCsvAndJson) {
    fourSweeps();

    EXPECT_EQ(run({"history", kRange, "10.9.8.2", "--format", "csv"}), cli::ExitDone) << err.str();
    EXPECT_EQ(csvQuery("SELECT date, answered, time_ms FROM t;"),
              (QStringList{"2026-12-01 08:00:00|yes|12", "2026-12-02 08:00:00|no|",
                           "2026-12-03 08:00:00|yes|12", "2026-12-04 08:00:00|yes|12"}));

    EXPECT_EQ(run({"history", kRange, "--format", "json"}), cli::ExitDone) << err.str();
    const std::vector<QJsonObject> rows = jsonLines();
    QStringList addresses;
    for (const QJsonObject& row : rows)
        addresses << row["address"].toString();
    EXPECT_EQ(addresses, (QStringList{"10.9.8.1", "10.9.8.2", "10.9.8.3", "10.9.8.100"}));
    const QJsonObject& gone = rows[2];
    EXPECT_EQ(gone["answered"].toInt(), 2);
    EXPECT_EQ(gone["logged"].toInt(), 4);
    EXPECT_EQ(gone["not_logged"].toInt(), 0);
    EXPECT_EQ(gone["first_seen"].toString(), "2026-12-01 08:00:00");
    EXPECT_EQ(gone["last_seen"].toString(), "2026-12-02 08:00:00");
    EXPECT_EQ(gone["silent_since"].toString(), "2026-12-03 08:00:00");
    EXPECT_EQ(gone["sweeps_since_answer"].toInt(), 2);
    EXPECT_EQ(gone["median_time_ms"].toInt(), 13);
    EXPECT_TRUE(rows[1]["silent_since"].isNull()) << "answered in the latest sweep";

    EXPECT_EQ(run({"history", kRange, "10.9.8"}), cli::ExitUsage);
    EXPECT_EQ(run({"history", kRange, "--format", "xml"}), cli::ExitUsage);
    EXPECT_EQ(errLines().value(0),
              "kestrion-cli: history: --format: 'xml' is not one of table, tsv, csv, json");
}

TEST_F(CliHistory, SilentForListsTheAddressesWithTheirEvidence) {
    fourSweeps();
    world.clock.time = at(6, 8);

    // .3 was last seen on the 2nd and silent from the 3rd; .4 to .6 never answered since the 1st.
    EXPECT_EQ(run({"report", kRange, "--silent-for", "3", "--format", "tsv"}), cli::ExitDone) << err.str();
    EXPECT_EQ(outLines(),
              (QStringList{"10.9.8.3\t2026-12-02 08:00:00\t2026-12-03 08:00:00\t2\t3",
                           "10.9.8.4\t\t2026-12-01 08:00:00\t4\t5", "10.9.8.5\t\t2026-12-01 08:00:00\t4\t5",
                           "10.9.8.6\t\t2026-12-01 08:00:00\t4\t5"}));
    EXPECT_EQ(run({"report", kRange, "--silent-for", "4", "--format", "tsv"}), cli::ExitDone);
    EXPECT_EQ(outLines().size(), 3);
    EXPECT_EQ(run({"report", kRange, "--silent-for", "0"}), cli::ExitUsage);
    EXPECT_EQ(run({"report", kRange, "--silent-for", "3", "-o", "x.txt"}), cli::ExitUsage);
}

TEST_F(CliHistory, OnChangeGetsTheChangesAndItsFailureKeepsTheSweep) {
    QTemporaryDir dir;
    const QString file = dir.filePath("changes.json");
    fourSweeps({"--on-change", "cat > '" + file + "'"});
    QFile written(file);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    const QJsonDocument change = QJsonDocument::fromJson(written.readAll().trimmed());
    EXPECT_EQ(change.object()["address"].toString(), "10.9.8.100");
    EXPECT_EQ(change.object()["change"].toString(), "new");

    // No change: the command is not run.
    ASSERT_TRUE(QFile::remove(file));
    EXPECT_EQ(scheduledAt(at(5, 8), {1, 2, 100}, {"--on-change", "cat > '" + file + "'"}), cli::ExitDone);
    EXPECT_FALSE(QFile::exists(file));

    // A failing command: named, status 4, and the sweep stays saved.
    EXPECT_EQ(scheduledAt(at(6, 8), {1}, {"--on-change", "exit 7"}), cli::ExitOnChangeFailed);
    EXPECT_TRUE(err.str().find("failed with exit status 7; the sweep is saved") != std::string::npos)
        << err.str();
    EXPECT_EQ(world.folder.column("SELECT numberofruns FROM tblSavedRuns;"), QStringList{"6"});
    EXPECT_TRUE(schedules().isEmpty());
    EXPECT_EQ(run({"run-due", "--on-change", " "}), cli::ExitUsage);
}

// What every record format must survive: separators, quotes and non-ASCII text in a field, no value.
TEST(Records, FieldsThatNeedQuotingComeBackWhole) {
    const QList<cli::Field> fields{{"name", "Name"}, {"n", "N"}, {"none", "None"}};
    const std::vector<cli::Value> record{QStringLiteral("a,\"b\"\tc\u00e9"), int64_t{-3}, cli::Null{}};
    std::ostringstream json;
    cli::RecordWriter(json, cli::OutputFormat::Json, fields).write(record);
    const QJsonObject object = QJsonDocument::fromJson(QByteArray::fromStdString(json.str())).object();
    EXPECT_EQ(object["name"].toString(), QStringLiteral("a,\"b\"\tc\u00e9"));
    EXPECT_EQ(object["n"].toInt(), -3);
    EXPECT_TRUE(object["none"].isNull());
    EXPECT_EQ(cli::jsonString(QStringLiteral("\x01")), "\"\\u0001\"");

    std::ostringstream csv;
    cli::RecordWriter(csv, cli::OutputFormat::Csv, fields).write(record);
    EXPECT_EQ(csv.str(), "name,n,none\n\"a,\"\"b\"\"\tc\xc3\xa9\",-3,\n");

    std::ostringstream table;
    cli::RecordWriter writer(table, cli::OutputFormat::Table, fields);
    writer.write({QStringLiteral("x"), int64_t{10}, cli::Null{}});
    writer.finish();
    EXPECT_EQ(table.str(), "Name  N   None\nx     10  -\n");
}

} // namespace
} // namespace kestrion::test
