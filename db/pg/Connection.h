#pragma once

#include "db/Database.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <initializer_list>
#include <memory>

struct pg_conn;
struct pg_result;

namespace kestrion::db::pg {

// The number a PostgreSQL failure carries as a DbError: the server's own code is the five-character
// SQLSTATE, kept beside it in sqlState(), and the text is the server's message.
constexpr int kServerErrorNumber = 3146;

// A failure reported by the server or by libpq (connection refused, connection lost): the server's
// text as it gave it, and its SQLSTATE ("08006" and the like for a lost connection, empty when
// libpq gave none).
class PgError : public DbError {
public:
    PgError(QString sqlState, const QString& text);
    const QString& sqlState() const { return sqlState_; }

private:
    QString sqlState_;
};

// SQLSTATE values the stores act on.
inline const QString kSerializationFailure = QStringLiteral("40001");
inline const QString kDeadlockDetected = QStringLiteral("40P01");
inline const QString kUniqueViolation = QStringLiteral("23505");

// One parameter of a statement. Values travel apart from the statement text, always: no value is
// ever spelled into SQL.
class Param {
public:
    static Param text(const QString& value);
    static Param integer(int64_t value);
    static Param bytes(const QByteArray& value); // sent as binary, for bytea
    static Param null();

    const char* data() const { return null_ ? nullptr : value_.constData(); }
    int length() const { return static_cast<int>(value_.size()); }
    int format() const { return binary_ ? 1 : 0; }

private:
    QByteArray value_;
    bool null_ = false;
    bool binary_ = false;
};

// The rows of one statement, freed when it goes. Values arrive as text; bytea as its escaped text,
// which bytesAt() undoes.
class Result {
public:
    explicit Result(pg_result* result) : result_(result) {}
    int rows() const;
    int columns() const;
    bool isNullAt(int row, int column) const;
    QString textAt(int row, int column) const;
    int64_t intAt(int row, int column) const;
    QByteArray bytesAt(int row, int column) const;
    // Rows the statement changed (INSERT, UPDATE, DELETE).
    int64_t changed() const;

private:
    struct Free {
        void operator()(pg_result* result) const;
    };
    std::unique_ptr<pg_result, Free> result_;
};

// One connection to the server, closed when it goes. `conninfo` is a libpq connection string
// ("host=/run/postgresql dbname=kestrion" or "postgresql://..."). A failure to connect throws
// PgError with libpq's text.
class Connection {
public:
    explicit Connection(const QString& conninfo);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // One statement with its parameters ($1, $2, ...).
    Result exec(const char* sql, std::initializer_list<Param> params = {});
    // Several statements of fixed text without parameters (the schema's DDL).
    void execScript(const char* sql);

    // The server's version number (150004 for 15.4).
    int serverVersion() const;

private:
    [[noreturn]] void failWith(pg_result* result) const;
    Result checked(pg_result* result) const;

    pg_conn* conn_ = nullptr;
};

// All of it or nothing: BEGIN, and ROLLBACK unless committed. `serializable` asks for the
// SERIALIZABLE isolation level instead of READ COMMITTED.
class Transaction {
public:
    explicit Transaction(Connection& connection, bool serializable = false);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit();

private:
    Connection& connection_;
    bool done_ = false;
};

} // namespace kestrion::db::pg
