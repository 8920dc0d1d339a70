#pragma once

#include "db/pg/Connection.h"

namespace kestrion::db::pg {

// The schema version this program makes and works with. Version 1: the run database's tables as the
// SQLite file has them, the sweep log, and a site per schedule.
constexpr int kSchemaVersion = 1;

struct SchemaOutcome {
    int before = 0; // 0: the database had no Kestrion tables
    int after = 0;
};

// Makes the tables on an empty database, or upgrades an older schema step by step, in one
// transaction; a database already at kSchemaVersion is left as it is. Any number of agents may run it
// at once: they take turns. A database of a newer version than this program knows throws PgError
// and is not touched.
SchemaOutcome initSchema(Connection& connection);

// The version of the database's schema; 0 when it has none.
int schemaVersion(Connection& connection);

// The report's work tables for this connection alone (temporary tables, gone with the session), so
// that two reports made at once from two machines never see each other's rows. Made when missing.
void makeReportWorkTables(Connection& connection);

} // namespace kestrion::db::pg
