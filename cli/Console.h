#pragma once

#include <QString>
#include <functional>
#include <istream>
#include <ostream>

namespace kestrion::cli {

// ExitStoredNotCompacted: the change (a sweep) is stored, only the compaction or the backups after it
// failed; a script must not repeat it.
enum ExitCode : int {
    ExitDone = 0,
    ExitFailure = 1,
    ExitUsage = 2,
    ExitStoredNotCompacted = 3,
    ExitOnChangeFailed = 4, // run-due: the sweeps are saved; the --on-change command failed
    ExitInterrupted = 130
};

// Where a command writes: results on `out`, messages on `err`. `errIsTerminal` turns progress on
// (kestrion-cli sets it from showsProgress, below);
// `interrupted` tells whether Ctrl-C has been pressed since the command began. `in` is set when
// someone at a terminal can answer the sweep's questions.
struct Console {
    std::ostream& out;
    std::ostream& err;
    bool errIsTerminal = false;
    std::function<bool()> interrupted = [] { return false; };
    std::istream* in = nullptr;

    // "kestrion-cli: <text>" as one line on `err`.
    void message(const QString& text) const;
};

// Whether the progress line is shown: it rewrites one line of standard error, so only where standard
// error and standard output are both terminals; where the output goes elsewhere the line would be mixed
// into a terminal that also shows the piped result, or into the result itself.
bool showsProgress(int outFd, int errFd);

// A message of the program's boxes as one line: carriage returns and line feeds become blanks.
QString oneLine(const QString& text);

} // namespace kestrion::cli
