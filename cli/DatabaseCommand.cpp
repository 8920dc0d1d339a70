#include "cli/DatabaseCommand.h"

#include "cli/CommandContext.h"
#include "db/pg/Connection.h"
#include "db/pg/Schema.h"

namespace kestrion::cli {

namespace {

const QString kDatabaseOption = QStringLiteral("--database");

void say(const Console& console, const QString& text) {
    console.out << text.toLocal8Bit().constData() << '\n';
    console.out.flush();
}

} // namespace

CommandSpec databaseInitSpec() {
    return {
        QStringLiteral("database init"),
        QStringLiteral("[--database CONNINFO]"),
        QStringLiteral("Make or upgrade the tables of a PostgreSQL store."),
        QStringLiteral("Makes the tables of Kestrion's shared store on a PostgreSQL server, or upgrades an\n"
                       "older schema to this version's; a database already up to date is left as it is, so\n"
                       "running it again (from any machine, even at the same moment) does no harm.\n"
                       "The SQLite file needs none of this: it is delivered with its tables.\n\n"
                       "  --database CONNINFO\n"
                       "            the server and database as a libpq connection string, e.g.\n"
                       "            'host=db.example.org dbname=kestrion user=kestrion' or\n"
                       "            'postgresql://kestrion@db.example.org/kestrion'; without it,\n"
                       "            the environment's KESTRION_DATABASE\n"),
        {{kDatabaseOption, QStringLiteral("CONNINFO")}},
        0,
        0};
}

int runDatabaseInit(CommandContext& context) {
    const QString conninfo = context.args.values.value(kDatabaseOption, context.services.database);
    if (conninfo.trimmed().isEmpty()) {
        context.console.message(QStringLiteral("database init: no PostgreSQL database given "
                                               "(--database CONNINFO or KESTRION_DATABASE)"));
        return ExitUsage;
    }
    db::pg::Connection connection(conninfo);
    const db::pg::SchemaOutcome outcome = db::pg::initSchema(connection);
    if (outcome.before == outcome.after)
        say(context.console, QStringLiteral("The schema is up to date (version %1).").arg(outcome.after));
    else if (outcome.before == 0)
        say(context.console, QStringLiteral("Made the tables of schema version %1.").arg(outcome.after));
    else
        say(context.console, QStringLiteral("Upgraded the schema from version %1 to %2.")
                                 .arg(outcome.before)
                                 .arg(outcome.after));
    return ExitDone;
}

} // namespace kestrion::cli
