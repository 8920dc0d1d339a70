#include "tests/support/PostgresServer.h"

#include "db/pg/Connection.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTextStream>
#include <algorithm>
#include <pwd.h>
#include <stdexcept>
#include <unistd.h>

namespace kestrion::test {

namespace {

// The socket's name only: with no TCP listener the port number names the socket file in the
// server's own folder, so it cannot clash with any other server.
constexpr int kPort = 5432;

bool hasTools(const QString& folder) {
    return QFileInfo(folder + QStringLiteral("/initdb")).isExecutable() &&
           QFileInfo(folder + QStringLiteral("/pg_ctl")).isExecutable() &&
           QFileInfo(folder + QStringLiteral("/postgres")).isExecutable();
}

// KESTRION_PG_BIN when set; else Debian's /usr/lib/postgresql/<version>/bin, newest first; else PATH.
QString findBinaries() {
    if (const QString given = qEnvironmentVariable("KESTRION_PG_BIN"); !given.isEmpty())
        return hasTools(given) ? given : QString();
    QDir versions(QStringLiteral("/usr/lib/postgresql"));
    QStringList names = versions.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(names.begin(), names.end(),
              [](const QString& a, const QString& b) { return a.toInt() > b.toInt(); });
    for (const QString& name : names)
        if (QString bin = versions.filePath(name) + QStringLiteral("/bin"); hasTools(bin))
            return bin;
    const QString initdb = QStandardPaths::findExecutable(QStringLiteral("initdb"));
    return initdb.isEmpty() ? QString() : QFileInfo(initdb).absolutePath();
}

struct Account {
    uid_t uid;
    gid_t gid;
};

Account nobody() {
    const passwd* entry = ::getpwnam("nobody");
    if (!entry)
        throw std::runtime_error("running as root, the test server needs the user 'nobody', who is missing");
    return {entry->pw_uid, entry->pw_gid};
}

} // namespace

std::unique_ptr<PostgresServer> PostgresServer::start(QString& whyNot) {
    const QString binaries = findBinaries();
    if (binaries.isEmpty()) {
        whyNot = QStringLiteral("the PostgreSQL server's programs (initdb, pg_ctl, postgres) are not "
                                "installed: apt-get install postgresql, or set KESTRION_PG_BIN");
        return nullptr;
    }
    // Under the system's temporary folder, which every user may enter: the server runs as `nobody`
    // when we are root, and must reach its own folder.
    QByteArray pattern = QFile::encodeName(QStringLiteral("/tmp/kestrion-pg-XXXXXX"));
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("cannot make the test server's folder under /tmp");
    const QString folder = QFile::decodeName(pattern);
    if (::geteuid() == 0) {
        const Account account = nobody();
        if (::chown(pattern.constData(), account.uid, account.gid) != 0) {
            QDir(folder).removeRecursively();
            throw std::runtime_error("cannot give the test server's folder to 'nobody'");
        }
    }
    std::unique_ptr<PostgresServer> server(new PostgresServer(binaries, folder));
    const QString data = folder + QStringLiteral("/data");
    server->runTool(QStringLiteral("initdb"),
                    {QStringLiteral("-D"), data, QStringLiteral("-U"), QStringLiteral("kestrion"),
                     QStringLiteral("-A"), QStringLiteral("trust"), QStringLiteral("-E"),
                     QStringLiteral("UTF8"), QStringLiteral("--no-locale"), QStringLiteral("--no-sync"),
                     QStringLiteral("--no-instructions")});
    QFile conf(data + QStringLiteral("/postgresql.conf"));
    if (!conf.open(QIODevice::Append | QIODevice::Text))
        throw std::runtime_error("cannot add the test settings to postgresql.conf");
    // No fsync: the tests' data need not survive the machine, only the server. Commits stay
    // synchronous, so what a client saw committed survives stopNow() and startAgain().
    QTextStream(&conf) << "listen_addresses = ''\n"
                       << "unix_socket_directories = '" << folder << "'\n"
                       << "port = " << kPort << "\n"
                       << "fsync = off\nfull_page_writes = off\n"
                       << "max_connections = 40\nshared_buffers = 16MB\n";
    conf.close();
    server->startAgain();
    return server;
}

PostgresServer::PostgresServer(QString binaries, QString folder)
    : binaries_(std::move(binaries)), folder_(std::move(folder)) {}

PostgresServer::~PostgresServer() {
    try {
        stopNow();
    } catch (const std::exception&) {
        // The folder goes anyway; a server that would not stop loses its files under it.
    }
    QDir(folder_).removeRecursively();
}

void PostgresServer::runTool(const QString& tool, const QStringList& arguments) const {
    QString program = binaries_ + QLatin1Char('/') + tool;
    QStringList all = arguments;
    if (::geteuid() == 0) {
        const Account account = nobody();
        all = QStringList{QStringLiteral("--reuid=%1").arg(account.uid),
                          QStringLiteral("--regid=%1").arg(account.gid), QStringLiteral("--clear-groups"),
                          QStringLiteral("--"), program} +
              arguments;
        program = QStringLiteral("setpriv");
    }
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    process.setProcessEnvironment(environment);
    // initdb and postgres look for their own files from the working folder they are started in.
    process.setWorkingDirectory(folder_);
    process.start(program, all);
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        QString log;
        if (QFile file(folder_ + QStringLiteral("/server.log")); file.open(QIODevice::ReadOnly))
            log = QString::fromLocal8Bit(file.readAll());
        throw std::runtime_error((tool + QStringLiteral(" failed: ") + process.errorString() +
                                  QLatin1Char('\n') + QString::fromLocal8Bit(process.readAll()) + log)
                                     .toStdString());
    }
}

QString PostgresServer::conninfo(const QString& database) const {
    return QStringLiteral("host=%1 port=%2 user=kestrion dbname=%3 connect_timeout=10")
        .arg(folder_)
        .arg(kPort)
        .arg(database);
}

QString PostgresServer::createDatabase() {
    const QString name = QStringLiteral("kestrion_test_%1").arg(++databases_);
    db::pg::Connection admin(conninfo());
    // A name the fixture makes from a counter; identifiers cannot be parameters.
    admin.execScript(QStringLiteral("CREATE DATABASE %1").arg(name).toUtf8().constData());
    return conninfo(name);
}

void PostgresServer::startAgain() {
    runTool(QStringLiteral("pg_ctl"),
            {QStringLiteral("-D"), folder_ + QStringLiteral("/data"), QStringLiteral("-l"),
             folder_ + QStringLiteral("/server.log"), QStringLiteral("-w"), QStringLiteral("-t"),
             QStringLiteral("60"), QStringLiteral("start")});
    running_ = true;
}

void PostgresServer::stopNow() {
    if (!running_)
        return;
    running_ = false;
    runTool(QStringLiteral("pg_ctl"),
            {QStringLiteral("-D"), folder_ + QStringLiteral("/data"), QStringLiteral("-m"),
             QStringLiteral("immediate"), QStringLiteral("-w"), QStringLiteral("stop")});
}

} // namespace kestrion::test
