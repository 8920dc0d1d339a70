#include "db/pg/Connection.h"

#include <libpq-fe.h>
#include <utility>
#include <vector>

namespace kestrion::db::pg {

namespace {

QString trimmedMessage(const char* text) {
    return QString::fromUtf8(text ? text : "").trimmed();
}

} // namespace

PgError::PgError(QString sqlState, const QString& text)
    : DbError(kServerErrorNumber, text), sqlState_(std::move(sqlState)) {}

Param Param::text(const QString& value) {
    Param param;
    param.value_ = value.toUtf8();
    return param;
}

Param Param::integer(int64_t value) {
    Param param;
    param.value_ = QByteArray::number(static_cast<qlonglong>(value));
    return param;
}

Param Param::bytes(const QByteArray& value) {
    Param param;
    param.value_ = value;
    param.binary_ = true;
    return param;
}

Param Param::null() {
    Param param;
    param.null_ = true;
    return param;
}

void Result::Free::operator()(pg_result* result) const {
    PQclear(result);
}

int Result::rows() const {
    return PQntuples(result_.get());
}

int Result::columns() const {
    return PQnfields(result_.get());
}

bool Result::isNullAt(int row, int column) const {
    return PQgetisnull(result_.get(), row, column) == 1;
}

QString Result::textAt(int row, int column) const {
    if (isNullAt(row, column))
        return {};
    return QString::fromUtf8(PQgetvalue(result_.get(), row, column), PQgetlength(result_.get(), row, column));
}

int64_t Result::intAt(int row, int column) const {
    return QByteArray(PQgetvalue(result_.get(), row, column)).toLongLong();
}

QByteArray Result::bytesAt(int row, int column) const {
    if (isNullAt(row, column))
        return {};
    size_t size = 0;
    unsigned char* raw = PQunescapeBytea(
        reinterpret_cast<const unsigned char*>(PQgetvalue(result_.get(), row, column)), &size);
    if (!raw)
        throw PgError(QString(), QStringLiteral("out of memory while reading a bytea value"));
    QByteArray bytes(reinterpret_cast<const char*>(raw), static_cast<qsizetype>(size));
    PQfreemem(raw);
    return bytes;
}

int64_t Result::changed() const {
    return QByteArray(PQcmdTuples(result_.get())).toLongLong();
}

Connection::Connection(const QString& conninfo) {
    const QByteArray info = conninfo.toUtf8();
    conn_ = PQconnectdb(info.constData());
    if (!conn_)
        throw PgError(QString(), QStringLiteral("out of memory while connecting to the server"));
    if (PQstatus(conn_) != CONNECTION_OK) {
        const QString text = trimmedMessage(PQerrorMessage(conn_));
        PQfinish(conn_);
        conn_ = nullptr;
        throw PgError(QStringLiteral("08001"), text);
    }
    // The server's notices ("relation already exists, skipping") are no news to the user.
    PQsetNoticeProcessor(
        conn_, [](void*, const char*) {}, nullptr);
}

Connection::~Connection() {
    PQfinish(conn_);
}

void Connection::failWith(pg_result* result) const {
    QString state;
    QString text;
    if (result) {
        state = QString::fromLatin1(PQresultErrorField(result, PG_DIAG_SQLSTATE));
        text = trimmedMessage(PQresultErrorMessage(result));
        PQclear(result);
    }
    if (text.isEmpty())
        text = trimmedMessage(PQerrorMessage(conn_));
    // Only the server's errors carry an SQLSTATE. libpq's own come from the connection (the server
    // closed it, or it broke), so they count as a connection failure.
    if (state.isEmpty())
        state = QStringLiteral("08006");
    throw PgError(state, text);
}

Result Connection::checked(pg_result* result) const {
    const ExecStatusType status = result ? PQresultStatus(result) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        failWith(result);
    return Result(result);
}

Result Connection::exec(const char* sql, std::initializer_list<Param> params) {
    std::vector<const char*> values;
    std::vector<int> lengths;
    std::vector<int> formats;
    values.reserve(params.size());
    lengths.reserve(params.size());
    formats.reserve(params.size());
    for (const Param& param : params) {
        values.push_back(param.data());
        lengths.push_back(param.length());
        formats.push_back(param.format());
    }
    return checked(PQexecParams(conn_, sql, static_cast<int>(params.size()), nullptr, values.data(),
                                lengths.data(), formats.data(), 0));
}

void Connection::execScript(const char* sql) {
    checked(PQexec(conn_, sql));
}

int Connection::serverVersion() const {
    return PQserverVersion(conn_);
}

Transaction::Transaction(Connection& connection, bool serializable) : connection_(connection) {
    connection_.exec(serializable ? "BEGIN ISOLATION LEVEL SERIALIZABLE" : "BEGIN");
}

Transaction::~Transaction() {
    if (done_)
        return;
    try {
        connection_.exec("ROLLBACK");
    } catch (const DbError&) {
        // A lost connection has nothing left to roll back: the server discards what was not committed.
    }
}

void Transaction::commit() {
    connection_.exec("COMMIT");
    done_ = true;
}

} // namespace kestrion::db::pg
