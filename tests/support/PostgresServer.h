#pragma once

#include <QString>
#include <QStringList>
#include <memory>

namespace kestrion::test {

// A PostgreSQL server of the test's own: a cluster made by initdb in a temporary folder and started
// by pg_ctl, reachable only through a Unix socket in that folder (no TCP listener at all), stopped
// and removed with the object. Run as root (CI), the server's commands run as `nobody`, who owns
// the folder: the server refuses to run as root. Durability is switched off; a test cluster starts
// in about a second.
class PostgresServer {
public:
    // The started server, or null with `whyNot` saying why when the server's programs are not
    // installed (the only reason a test may skip). Any other failure of initdb or pg_ctl throws
    // std::runtime_error with their output.
    static std::unique_ptr<PostgresServer> start(QString& whyNot);
    ~PostgresServer();
    PostgresServer(const PostgresServer&) = delete;
    PostgresServer& operator=(const PostgresServer&) = delete;

    // A libpq connection string for `database` on this server, as its superuser.
    QString conninfo(const QString& database = QStringLiteral("postgres")) const;
    // A new empty database; its connection string.
    QString createDatabase();
    // Ends the server at once (as a crash or a pulled plug would for its clients); the destructor
    // then only removes the folder.
    void stopNow();
    // Starts the stopped server again on its files (after stopNow, as after a crash: it recovers).
    void startAgain();
    const QString& folder() const { return folder_; }

private:
    PostgresServer(QString binaries, QString folder);
    // Runs one of the server's programs (as `nobody` when this process is root); throws on failure.
    void runTool(const QString& tool, const QStringList& arguments) const;

    QString binaries_;
    QString folder_;
    bool running_ = false;
    int databases_ = 0;
};

} // namespace kestrion::test
