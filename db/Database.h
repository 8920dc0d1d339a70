#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace kestrion::db {

// A failure of the database engine or the file system: its number and text. The program shows
// both and ends (the one fatal path); it is caught once, at the application's event boundary.
class DbError : public std::runtime_error {
public:
    DbError(int number, const QString& text);
    int number() const { return number_; }
    QString text() const { return text_; }

private:
    int number_;
    QString text_;
};

class Database;

// A prepared statement; finalized when it goes.
class Statement {
public:
    Statement(Database& db, const char* sql);
    ~Statement();
    Statement(Statement&& other) noexcept;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int index, int64_t value);
    Statement& bind(int index, const QString& value);
    Statement& bindNull(int index);
    Statement& bindBlob(int index, const QByteArray& value);
    // Runs one step: true while a row is available.
    bool step();
    void reset();

    int64_t intAt(int column) const;
    QString textAt(int column) const;
    bool isNullAt(int column) const;
    // Valid until the next step or reset.
    QByteArrayView blobAt(int column) const;

private:
    Database* db_;
    sqlite3_stmt* stmt_ = nullptr;
};

// How long an operation waits for another connection (another process, or kestrion-cli) that holds
// the file before it counts as locked.
constexpr std::chrono::milliseconds kBusyTimeout{2000};

// An open database file. Opening never creates a file: the program only works on the delivered one.
class Database {
public:
    explicit Database(const QString& path, std::chrono::milliseconds busyTimeout = kBusyTimeout);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    void exec(const char* sql);
    Statement prepare(const char* sql) { return Statement(*this, sql); }
    int64_t lastInsertRowId() const;
    int changes() const;
    void close();
    bool isOpen() const { return db_ != nullptr; }
    const QString& path() const { return path_; }
    sqlite3* raw() const { return db_; }

    // Throws DbError for a result code that is not success.
    [[noreturn]] void fail(int resultCode) const;

private:
    sqlite3* db_ = nullptr;
    QString path_;
};

// All of it or nothing: rolls back unless committed.
class Transaction {
public:
    explicit Transaction(Database& db);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit();

private:
    Database& db_;
    bool done_ = false;
};

} // namespace kestrion::db
