#include "db/pg/Schema.h"

#include <array>

namespace kestrion::db::pg {

namespace {

// Schema work takes this transaction-level advisory lock (the key is
// arbitrary, fixed for Kestrion): released by COMMIT or ROLLBACK, and by the server when a client
// vanishes, so no crash leaves it held.
constexpr const char* kTakeSchemaLock = "SELECT pg_advisory_xact_lock(7216349001)";

// Version 1. The same tables, columns, keys and cascades as db/schema.sql and the sweep log, in
// PostgreSQL's words:
// - Texts use the "C" collation: comparisons and ordering by code point, letter case included, as
//   SQLite's binary collation does (dates are sortable text, and range texts match exactly).
// - SQLite orders some lists by its implicit rowid (the saved runs in insertion order, the report's
//   sections in the order their rows were added); here that order is a column named rowid of its own,
//   filled from a sequence, so the same ORDER BY rowid reads the same order.
// - qrySchedules is a plain view on one table, which PostgreSQL itself lets DELETE pass through.
// - Site: the site whose agents carry a schedule out; NULL for any site.
// The report's work tables are not here: they are temporary, per session (makeReportWorkTables).
constexpr const char* kVersion1 = R"sql(
CREATE TABLE tblSavedRuns (
    RunNo         integer NOT NULL PRIMARY KEY CHECK (RunNo BETWEEN 1 AND 32767),
    runip         text COLLATE "C" NOT NULL UNIQUE,
    runcreatedate text COLLATE "C" NOT NULL,
    numberofruns  integer NOT NULL DEFAULT 0,
    rowid         bigint GENERATED ALWAYS AS IDENTITY UNIQUE
);

CREATE TABLE tblSuccess (
    RunNo      integer NOT NULL REFERENCES tblSavedRuns (RunNo) ON DELETE CASCADE,
    RunDate    text COLLATE "C" NOT NULL,
    successIP  text COLLATE "C" NOT NULL,
    SuccessRTT text COLLATE "C"
);
CREATE INDEX idxSuccessRunNo ON tblSuccess (RunNo);

CREATE TABLE tblSchedules (
    scheddate text COLLATE "C" NOT NULL,
    schedip   text COLLATE "C" NOT NULL REFERENCES tblSavedRuns (runip) ON DELETE CASCADE,
    Site      text COLLATE "C"
);
CREATE UNIQUE INDEX idxSchedulesDate ON tblSchedules (scheddate);
CREATE INDEX idxSchedulesIP ON tblSchedules (schedip);

CREATE VIEW qrySchedules AS
    SELECT scheddate, schedip FROM tblSchedules ORDER BY scheddate;

CREATE TABLE tblSweepLog (
    SweepNo    bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    RunNo      integer NOT NULL REFERENCES tblSavedRuns (RunNo) ON DELETE CASCADE,
    SweepDate  text COLLATE "C" NOT NULL,
    FirstIP    text COLLATE "C" NOT NULL,
    LastIP     text COLLATE "C" NOT NULL,
    Answered   integer NOT NULL,
    DurationMs bigint,
    SweptBy    text COLLATE "C" NOT NULL,
    Answers    bytea NOT NULL,
    Others     text COLLATE "C"
);
CREATE INDEX idxSweepLogRun ON tblSweepLog (RunNo, SweepDate);

CREATE TABLE tblSweepLogCount (
    RunNo       integer PRIMARY KEY REFERENCES tblSavedRuns (RunNo) ON DELETE CASCADE,
    CountedRuns integer NOT NULL
);

-- Each distinct answering address of a run with its first and latest result row (the report's list).
CREATE TABLE tblSweepLogAddress (
    RunNo     integer NOT NULL REFERENCES tblSavedRuns (RunNo) ON DELETE CASCADE,
    successIP text COLLATE "C" NOT NULL,
    FirstRow  bigint NOT NULL,
    LastRow   bigint NOT NULL,
    UNIQUE (RunNo, successIP)
);
)sql";

// Step i takes a database from version i to version i + 1.
constexpr std::array<const char*, kSchemaVersion> kUpgrades = {kVersion1};

constexpr const char* kReportWorkTables = R"sql(
CREATE TEMPORARY TABLE IF NOT EXISTS tblDistinctSuccesses (
    RunNo     integer,
    SuccessIP text COLLATE "C"
);
CREATE TEMPORARY TABLE IF NOT EXISTS tblFreeIPReport (
    successIP text COLLATE "C",
    RunNo     integer CHECK (RunNo BETWEEN -32768 AND 32767),
    Status    text COLLATE "C",
    rowid     bigint GENERATED ALWAYS AS IDENTITY
);
CREATE TEMPORARY TABLE IF NOT EXISTS tblCurrentRun (
    RunNo         integer,
    RunIP         text COLLATE "C",
    RunCreateDate text COLLATE "C",
    NumberOfRuns  integer
);
CREATE OR REPLACE TEMPORARY VIEW qryRptIPsFree AS
    SELECT successIP FROM tblFreeIPReport WHERE Status = 'Free' ORDER BY rowid;
CREATE OR REPLACE TEMPORARY VIEW qryRptIPsUsed AS
    SELECT successIP FROM tblFreeIPReport WHERE Status = 'Used' ORDER BY rowid;
)sql";

int readVersion(Connection& connection) {
    const Result exists = connection.exec("SELECT to_regclass('schema_version') IS NOT NULL");
    if (exists.textAt(0, 0) != QLatin1String("t"))
        return 0;
    const Result version = connection.exec("SELECT max(version) FROM schema_version");
    return version.isNullAt(0, 0) ? 0 : static_cast<int>(version.intAt(0, 0));
}

} // namespace

int schemaVersion(Connection& connection) {
    return readVersion(connection);
}

SchemaOutcome initSchema(Connection& connection) {
    Transaction transaction(connection);
    // Two agents initialising one new database at once: the second waits here, then finds the
    // first one's tables and has nothing to do.
    connection.exec(kTakeSchemaLock);
    SchemaOutcome outcome;
    outcome.before = readVersion(connection);
    if (outcome.before > kSchemaVersion)
        throw PgError(QString(), QStringLiteral("the database's schema is version %1, newer than this "
                                                "Kestrion knows (%2); nothing was changed")
                                     .arg(outcome.before)
                                     .arg(kSchemaVersion));
    connection.execScript("CREATE TABLE IF NOT EXISTS schema_version ("
                          " version integer NOT NULL PRIMARY KEY,"
                          " applied timestamptz NOT NULL DEFAULT now())");
    for (int version = outcome.before; version < kSchemaVersion; ++version) {
        connection.execScript(kUpgrades.at(static_cast<size_t>(version)));
        connection.exec("INSERT INTO schema_version (version) VALUES ($1)", {Param::integer(version + 1)});
    }
    transaction.commit();
    outcome.after = kSchemaVersion;
    return outcome;
}

void makeReportWorkTables(Connection& connection) {
    connection.execScript(kReportWorkTables);
}

} // namespace kestrion::db::pg
