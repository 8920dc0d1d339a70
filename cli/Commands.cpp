#include "cli/Commands.h"

#include "Version.h"
#include "cli/CommandContext.h"
#include "cli/DataCommands.h"
#include "cli/DatabaseCommand.h"
#include "cli/HistoryCommands.h"
#include "cli/RunDue.h"
#include "cli/SweepCommand.h"
#include "db/CompactAndBackup.h"
#include "db/Database.h"
#include "platform/DatabaseLock.h"

#include <functional>

namespace kestrion::cli {

namespace {

struct Command {
    CommandSpec syntax;
    std::function<int(CommandContext&)> run;
};

QList<Command> commands() {
    return {
        {sweepSpec(), runSweep},
        {runsSpec(), runRuns},
        {reportSpec(), runReport},
        {historySpec(), runHistory},
        {changesSpec(), runChanges},
        {schedulesSpec(), runSchedules},
        {scheduleAddSpec(), runScheduleAdd},
        {scheduleDeleteSpec(), runScheduleDelete},
        {runDueSpec(), runRunDue},
        {databaseInitSpec(), runDatabaseInit},
    };
}

QString overview() {
    QString text =
        QStringLiteral("Usage: kestrion-cli COMMAND [ARGUMENTS]\n\n"
                       "Sweeps, saved runs, reports and schedules of Kestrion without its window,\n"
                       "on the same database and settings.\n\nCommands:\n");
    for (const Command& command : commands())
        text += QStringLiteral("  ") + command.syntax.name.leftJustified(17) + command.syntax.summary +
                QLatin1Char('\n');
    text += QStringLiteral("\n'kestrion-cli COMMAND --help' tells more of one command.\n"
                           "Exit status: 0 done, 1 failure, 2 wrong arguments, 3 saved but not compacted\n"
                           "(the sweep is stored; its compaction or backup failed), 4 saved but the\n"
                           "--on-change command of run-due failed, 130 interrupted.\n");
    return text;
}

void print(const Console& console, const QString& text) {
    console.out << text.toLocal8Bit().constData();
    console.out.flush();
}

QString runTimeErrorLine(const db::DbError& error) {
    return QStringLiteral("Run-time error '%1': %2").arg(error.number()).arg(error.text());
}

QString storedChangeText(db::StoredChange stored) {
    return (stored == db::StoredChange::Sweep ? QStringLiteral("the sweep was saved")
                                              : QStringLiteral("the saved run was deleted")) +
           QStringLiteral("; only the compaction of the database or the renewal of its backups failed, "
                          "so do not repeat it");
}

int usage(const Console& console, const QString& command, const QString& text) {
    console.message((command.isEmpty() ? QString() : command + QStringLiteral(": ")) + text);
    console.err << "Try 'kestrion-cli "
                << (command.isEmpty() ? QString() : command + QLatin1Char(' ')).toStdString() << "--help'.\n";
    return ExitUsage;
}

} // namespace

std::unique_ptr<platform::DatabaseLock> lockDatabase(const CommandContext& context) {
    auto lock = std::make_unique<platform::DatabaseLock>(context.services.paths.database(),
                                                         platform::LockHolder::Command);
    switch (lock->outcome()) {
    case platform::DatabaseLock::Outcome::Acquired:
        return lock;
    case platform::DatabaseLock::Outcome::HeldByAnother:
        context.console.message(lockHeldText());
        break;
    case platform::DatabaseLock::Outcome::NoLockFile:
        context.console.message(noLockText(lock->detail()));
        break;
    }
    return nullptr;
}

QString lockHeldText() {
    return QStringLiteral(
        "Kestrion is already running (its window or another kestrion-cli holds the database's "
        "lock); try again when it has ended");
}

QString noLockText(const QString& detail) {
    return QStringLiteral("the database cannot be locked (") + detail +
           QStringLiteral("), so nothing was changed: another Kestrion could be writing it");
}

int runCommandLine(const QStringList& arguments, const Services& services, const Console& console) {
    if (arguments.isEmpty())
        return usage(console, QString(), QStringLiteral("no command given"));
    const QString& first = arguments.front();
    if (first == QStringLiteral("--help") || first == QStringLiteral("-h") ||
        first == QStringLiteral("help")) {
        print(console, overview());
        return ExitDone;
    }
    if (first == QStringLiteral("--version")) {
        print(console, QStringLiteral("kestrion-cli %1.%2.%3\n")
                           .arg(KESTRION_VERSION_MAJOR)
                           .arg(KESTRION_VERSION_MINOR)
                           .arg(KESTRION_VERSION_PATCH));
        return ExitDone;
    }
    for (const Command& command : commands()) {
        // "schedule add" and "schedule delete" are named by two words.
        const QStringList words = command.syntax.name.split(QLatin1Char(' '));
        if (arguments.mid(0, words.size()) != words)
            continue;
        const auto parsed = parseArguments(command.syntax, arguments.mid(words.size()));
        if (const auto* error = std::get_if<UsageError>(&parsed))
            return usage(console, command.syntax.name, error->message);
        CommandContext context(services, console, std::get<ParsedArguments>(parsed));
        if (context.args.help) {
            print(console, commandHelp(command.syntax));
            return ExitDone;
        }
        services.paths.prepare();
        try {
            const int status = command.run(context);
            if (status == ExitUsage)
                console.err << "Try 'kestrion-cli " << command.syntax.name.toStdString() << " --help'.\n";
            return status;
        } catch (const db::CompactionFailedAfterCommit& error) {
            console.message(runTimeErrorLine(error));
            console.message(storedChangeText(error.stored()));
            return ExitStoredNotCompacted;
        } catch (const db::DbError& error) {
            // As the window shows it, on one line; every change is one transaction, so what was
            // stored before stays stored.
            console.message(runTimeErrorLine(error));
            return ExitFailure;
        } catch (const std::exception& error) {
            console.message(QString::fromLocal8Bit(error.what()));
            return ExitFailure;
        }
    }
    if (first == QStringLiteral("schedule") && arguments.contains(QStringLiteral("--help"))) {
        print(console,
              commandHelp(scheduleAddSpec()) + QLatin1Char('\n') + commandHelp(scheduleDeleteSpec()));
        return ExitDone;
    }
    if (first == QStringLiteral("schedule"))
        return usage(console, first, QStringLiteral("expected 'add' or 'delete'"));
    return usage(console, QString(), QStringLiteral("unknown command '") + first + QLatin1Char('\''));
}

} // namespace kestrion::cli
