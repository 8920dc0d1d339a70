#pragma once

#include "db/pg/Connection.h"
#include "tests/support/PostgresServer.h"

#include <QString>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>

inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace kestrion::test {

// One server for the whole test program (it takes a second to start), a new database per test.
class PgFixture : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!server())
            server() = PostgresServer::start(whyNot());
    }

    // Stopped here rather than at the program's exit, after everything else that might still use it.
    static void TearDownTestSuite() { server().reset(); }

    void SetUp() override {
        if (!server())
            GTEST_SKIP() << whyNot().toStdString();
        conninfo = server()->createDatabase();
    }

    static std::unique_ptr<PostgresServer>& server() {
        static std::unique_ptr<PostgresServer> running;
        return running;
    }
    static QString& whyNot() {
        static QString reason;
        return reason;
    }

    // A single number from the test's database, read beside the code under test.
    long long number(const char* sql) const {
        db::pg::Connection connection(conninfo);
        return connection.exec(sql).intAt(0, 0);
    }

    QString conninfo;
};

} // namespace kestrion::test
