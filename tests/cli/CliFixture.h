#pragma once

#include "cli/Commands.h"
#include "platform/DatabaseLock.h"
#include "tests/support/fakes/FakeWorld.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sstream>
#include <string>

// Failures name the texts, not their bytes.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace kestrion::test {

// kestrion-cli's commands in this process, over the fakes of a FakeWorld: its temporary application
// folder and settings, its clock, and the database's lock beside the database of that folder.
class CliFixture : public ::testing::Test {
protected:
    FakeWorld world;
    std::chrono::milliseconds lockWait{2000}; // how long run-due waits for another command
    platform::EchoService* echo = &world.echo;
    std::ostringstream out;
    std::ostringstream err;
    bool errIsTerminal = false;
    std::function<bool()> interrupted = [] { return false; };
    std::istream* in = nullptr; // someone at a terminal who answers questions

    int run(const QStringList& arguments) {
        out.str(std::string());
        err.str(std::string());
        const cli::Services services{
            *echo, world.clock, *world.settings, world.components, world.folder.paths, lockWait};
        const cli::Console console{out, err, errIsTerminal, interrupted, in};
        return cli::runCommandLine(arguments, services, console);
    }

    QStringList outLines() const { return lines(out); }
    QStringList errLines() const { return lines(err); }
    static QStringList lines(const std::ostringstream& stream) {
        QString text = QString::fromStdString(stream.str());
        if (text.endsWith(QLatin1Char('\n')))
            text.chop(1);
        return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
    }

    void addRun(int runNo, const char* runip, const char* created = "2026-03-01 08:00:00", int runs = 1) {
        world.folder.exec(QStringLiteral("INSERT INTO tblSavedRuns VALUES (%1, '%2', '%3', %4);")
                              .arg(runNo)
                              .arg(QLatin1String(runip), QLatin1String(created))
                              .arg(runs));
    }
    void addSchedule(const char* when, const char* range) {
        world.folder.exec(QStringLiteral("INSERT INTO tblSchedules VALUES ('%1', '%2');")
                              .arg(QLatin1String(when), QLatin1String(range)));
    }
    // The lock as a window (or another command) that is running holds it.
    std::unique_ptr<platform::DatabaseLock> holdLock(platform::LockHolder as) const {
        return std::make_unique<platform::DatabaseLock>(world.folder.paths.database(), as);
    }
    QStringList schedules() const {
        return world.folder.column(QStringLiteral("SELECT scheddate || ' ' || schedip FROM qrySchedules;"));
    }
};

} // namespace kestrion::test
