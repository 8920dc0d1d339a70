#include "db/pg/Schema.h"
#include "tests/db/pg/PgFixture.h"

#include <QProcess>
#include <QTemporaryDir>

namespace kestrion::test {
namespace {

struct CliRun {
    int status = -1;
    QString out;
    QString err;
};

// kestrion-cli as a process; `database` is its environment's KESTRION_DATABASE (unset when null).
CliRun cli(const QStringList& arguments, const QString& database = QString()) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("KESTRION_DATABASE"));
    if (!database.isNull())
        environment.insert(QStringLiteral("KESTRION_DATABASE"), database);
    // The class registry of a temporary folder: the command touches no real configuration.
    QTemporaryDir config;
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(KESTRION_CLI_EXECUTABLE), arguments);
    CliRun run;
    if (!process.waitForFinished(60000))
        return run;
    run.status = process.exitCode();
    run.out = QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
    run.err = QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
    return run;
}

class CliDatabaseInitTest : public PgFixture {};

TEST_F(CliDatabaseInitTest, MakesTheTablesOnceFromTheEnvironmentOrTheOption) {
    const CliRun first = cli({QStringLiteral("database"), QStringLiteral("init")}, conninfo);
    EXPECT_EQ(first.status, 0) << first.err.toStdString();
    EXPECT_EQ(first.out, QStringLiteral("Made the tables of schema version 1."));

    // The option wins over the environment, which names a database that does not exist.
    const CliRun again =
        cli({QStringLiteral("database"), QStringLiteral("init"), QStringLiteral("--database"), conninfo},
            server()->conninfo(QStringLiteral("kestrion_nowhere")));
    EXPECT_EQ(again.status, 0) << again.err.toStdString();
    EXPECT_EQ(again.out, QStringLiteral("The schema is up to date (version 1)."));
    EXPECT_EQ(number("SELECT count(*) FROM schema_version"), 1);
}

TEST_F(CliDatabaseInitTest, SaysWhatIsWrong) {
    const CliRun none = cli({QStringLiteral("database"), QStringLiteral("init")});
    EXPECT_EQ(none.status, 2);
    EXPECT_TRUE(none.err.contains(QLatin1String("no PostgreSQL database given"))) << none.err.toStdString();

    const CliRun missing = cli({QStringLiteral("database"), QStringLiteral("init")},
                               server()->conninfo(QStringLiteral("kestrion_nowhere")));
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(missing.err.contains(QLatin1String("database \"kestrion_nowhere\" does not exist")))
        << "the server's own text: " << missing.err.toStdString();
}

} // namespace
} // namespace kestrion::test
