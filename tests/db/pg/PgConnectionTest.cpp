#include "tests/db/pg/PgFixture.h"

#include <QByteArray>

namespace kestrion::test {
namespace {

using db::pg::Connection;
using db::pg::Param;
using db::pg::PgError;

class PgConnectionTest : public PgFixture {};

TEST_F(PgConnectionTest, ValuesArriveAsTheyWereGiven) {
    Connection connection(conninfo);
    const struct {
        const char* name;
        QString text;
    } rows[] = {
        {"quotes", QStringLiteral("it's \"quoted\"")},
        {"statement text", QStringLiteral("x'); DROP TABLE pg_class; --")},
        {"backslashes", QStringLiteral("C:\\path\\")},
        {"non-ASCII", QStringLiteral("Zürich – 東京")},
        {"empty", QString()},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto result = connection.exec("SELECT $1::text, $1::text IS NULL", {Param::text(row.text)});
        EXPECT_EQ(result.textAt(0, 0), row.text);
        EXPECT_EQ(result.textAt(0, 1), QStringLiteral("f")) << "an empty text is not NULL";
    }

    const QByteArray bytes("\x00\x01\xff'\\\"", 6);
    const auto binary =
        connection.exec("SELECT $1::bytea, length($1::bytea), $2::bigint, $3::text IS NULL",
                        {Param::bytes(bytes), Param::integer(-9007199254740993LL), Param::null()});
    EXPECT_EQ(binary.bytesAt(0, 0), bytes);
    EXPECT_EQ(binary.intAt(0, 1), 6);
    EXPECT_EQ(binary.intAt(0, 2), -9007199254740993LL);
    EXPECT_EQ(binary.textAt(0, 3), QStringLiteral("t"));
}

TEST_F(PgConnectionTest, FailuresCarryTheServersTextAndCode) {
    Connection connection(conninfo);
    const struct {
        const char* name;
        const char* sql;
        const char* state;
        const char* words;
    } rows[] = {
        {"syntax", "SELEC 1", "42601", "syntax error at or near \"SELEC\""},
        {"missing table", "SELECT * FROM tblNowhere", "42P01", "relation \"tblnowhere\" does not exist"},
        {"division", "SELECT 1 / 0", "22012", "division by zero"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        try {
            connection.exec(row.sql);
            ADD_FAILURE() << "no failure";
        } catch (const PgError& error) {
            EXPECT_EQ(error.sqlState(), QLatin1String(row.state));
            EXPECT_TRUE(error.text().contains(QLatin1String(row.words))) << error.text().toStdString();
            EXPECT_EQ(error.number(), db::pg::kServerErrorNumber);
        }
    }
    // The connection is still usable after a failed statement outside a transaction.
    EXPECT_EQ(connection.exec("SELECT 41 + 1").intAt(0, 0), 42);
}

TEST_F(PgConnectionTest, ConnectingToAMissingDatabaseNamesIt) {
    try {
        Connection connection(server()->conninfo(QStringLiteral("kestrion_nowhere")));
        ADD_FAILURE() << "connected";
    } catch (const PgError& error) {
        EXPECT_TRUE(error.text().contains(QLatin1String("database \"kestrion_nowhere\" does not exist")))
            << error.text().toStdString();
    }
}

TEST_F(PgConnectionTest, ATransactionKeepsOnlyWhatItCommitted) {
    Connection connection(conninfo);
    connection.execScript("CREATE TABLE t (v integer)");
    {
        db::pg::Transaction dropped(connection);
        connection.exec("INSERT INTO t VALUES ($1)", {Param::integer(1)});
    }
    try {
        db::pg::Transaction failed(connection);
        connection.exec("INSERT INTO t VALUES ($1)", {Param::integer(2)});
        connection.exec("INSERT INTO t VALUES ($1)", {Param::text(QStringLiteral("not a number"))});
        failed.commit();
        ADD_FAILURE() << "the bad value went in";
    } catch (const PgError& error) {
        EXPECT_EQ(error.sqlState(), QStringLiteral("22P02"));
    }
    {
        db::pg::Transaction kept(connection);
        connection.exec("INSERT INTO t VALUES ($1)", {Param::integer(3)});
        kept.commit();
    }
    const auto rows = connection.exec("SELECT string_agg(v::text, ',') FROM t");
    EXPECT_EQ(rows.textAt(0, 0), QStringLiteral("3"));
}

TEST_F(PgConnectionTest, AServerGoneMeanwhileIsAClearFailure) {
    // A server of its own: stopping the shared one would end every later test.
    QString whyNotHere;
    auto own = PostgresServer::start(whyNotHere);
    ASSERT_TRUE(own) << whyNotHere.toStdString();
    Connection connection(own->conninfo());
    EXPECT_EQ(connection.exec("SELECT 1").intAt(0, 0), 1);
    own->stopNow();
    try {
        connection.exec("SELECT 1");
        ADD_FAILURE() << "a stopped server answered";
    } catch (const PgError& error) {
        EXPECT_FALSE(error.text().isEmpty());
        EXPECT_TRUE(error.sqlState().startsWith(QLatin1String("08")) ||
                    error.sqlState().startsWith(QLatin1String("57P")))
            << error.sqlState().toStdString() << ": " << error.text().toStdString();
    }
}

} // namespace
} // namespace kestrion::test
