#include "db/Database.h"

#include <QFile>
#include <QFileInfo>
#include <cstring>
#include <sqlite3.h>

namespace kestrion::db {

namespace {
// SQLite says only that it cannot open the file; the user needs to know what stands in the way.
QString cantOpenReason(const QString& path, int systemError) {
    const QFileInfo file(path);
    const QFileInfo folder(file.absolutePath());
    if (file.isDir())
        return QStringLiteral("it is a folder, not a database file");
    if (!folder.exists())
        return QStringLiteral("the folder ") + folder.filePath() + QStringLiteral(" does not exist");
    if (!folder.isDir())
        return folder.filePath() + QStringLiteral(" is a file, not a folder");
    return systemError != 0 ? QString::fromLocal8Bit(std::strerror(systemError)) : QString();
}
} // namespace

DbError::DbError(int number, const QString& text)
    : std::runtime_error(text.toStdString()), number_(number), text_(text) {}

Database::Database(const QString& path, std::chrono::milliseconds busyTimeout) : path_(path) {
    const QByteArray name = QFile::encodeName(path);
    const int rc =
        sqlite3_open_v2(name.constData(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        QString text = db_ ? QString::fromUtf8(sqlite3_errmsg(db_)) : QString::fromUtf8(sqlite3_errstr(rc));
        text += QStringLiteral(": ") + path;
        if (const QString reason =
                rc == SQLITE_CANTOPEN ? cantOpenReason(path, sqlite3_system_errno(db_)) : QString();
            !reason.isEmpty())
            text += QStringLiteral(" (") + reason + QLatin1Char(')');
        sqlite3_close(db_);
        db_ = nullptr;
        throw DbError(rc, text);
    }
    try {
        if (const int set = sqlite3_extended_result_codes(db_, 1); set != SQLITE_OK)
            fail(set);
        if (const int set = sqlite3_busy_timeout(db_, static_cast<int>(busyTimeout.count()));
            set != SQLITE_OK)
            fail(set);
        exec("PRAGMA foreign_keys = ON;");
        // Reading the schema here makes a file that is not a database fail at once, not mid-operation.
        exec("SELECT count(*) FROM sqlite_master;");
    } catch (...) {
        // No destructor runs for a constructor that throws: the connection would stay open.
        close();
        throw;
    }
}

Database::~Database() {
    close();
}

void Database::close() {
    if (db_) {
        sqlite3_close_v2(db_);
        db_ = nullptr;
    }
}

void Database::fail(int resultCode) const {
    const QString text =
        db_ ? QString::fromUtf8(sqlite3_errmsg(db_)) : QString::fromUtf8(sqlite3_errstr(resultCode));
    throw DbError(resultCode, text);
}

void Database::exec(const char* sql) {
    char* message = nullptr;
    const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, &message);
    if (rc != SQLITE_OK) {
        const QString text = message ? QString::fromUtf8(message) : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_free(message);
        throw DbError(sqlite3_extended_errcode(db_), text);
    }
}

int64_t Database::lastInsertRowId() const {
    return sqlite3_last_insert_rowid(db_);
}
int Database::changes() const {
    return sqlite3_changes(db_);
}

Statement::Statement(Database& db, const char* sql) : db_(&db) {
    const int rc = sqlite3_prepare_v2(db.raw(), sql, -1, &stmt_, nullptr);
    if (rc != SQLITE_OK)
        db.fail(rc);
}

Statement::Statement(Statement&& other) noexcept : db_(other.db_), stmt_(other.stmt_) {
    other.stmt_ = nullptr;
}

Statement::~Statement() {
    sqlite3_finalize(stmt_);
}

Statement& Statement::bind(int index, int64_t value) {
    if (const int rc = sqlite3_bind_int64(stmt_, index, value); rc != SQLITE_OK)
        db_->fail(rc);
    return *this;
}

Statement& Statement::bind(int index, const QString& value) {
    const QByteArray utf8 = value.toUtf8();
    if (const int rc = sqlite3_bind_text(stmt_, index, utf8.constData(), static_cast<int>(utf8.size()),
                                         SQLITE_TRANSIENT);
        rc != SQLITE_OK)
        db_->fail(rc);
    return *this;
}

Statement& Statement::bindNull(int index) {
    if (const int rc = sqlite3_bind_null(stmt_, index); rc != SQLITE_OK)
        db_->fail(rc);
    return *this;
}

Statement& Statement::bindBlob(int index, const QByteArray& value) {
    if (const int rc = sqlite3_bind_blob(stmt_, index, value.constData(), static_cast<int>(value.size()),
                                         SQLITE_TRANSIENT);
        rc != SQLITE_OK)
        db_->fail(rc);
    return *this;
}

bool Statement::step() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    db_->fail(sqlite3_extended_errcode(db_->raw()));
}

void Statement::reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

int64_t Statement::intAt(int column) const {
    return sqlite3_column_int64(stmt_, column);
}

QString Statement::textAt(int column) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    return text ? QString::fromUtf8(text, sqlite3_column_bytes(stmt_, column)) : QString();
}

QByteArrayView Statement::blobAt(int column) const {
    const void* data = sqlite3_column_blob(stmt_, column);
    return data ? QByteArrayView(static_cast<const char*>(data), sqlite3_column_bytes(stmt_, column))
                : QByteArrayView();
}

bool Statement::isNullAt(int column) const {
    return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}

Transaction::Transaction(Database& db) : db_(db) {
    db_.exec("BEGIN IMMEDIATE;");
}

Transaction::~Transaction() {
    if (!done_ && db_.isOpen())
        sqlite3_exec(db_.raw(), "ROLLBACK;", nullptr, nullptr, nullptr);
}

void Transaction::commit() {
    db_.exec("COMMIT;");
    done_ = true;
}

} // namespace kestrion::db
