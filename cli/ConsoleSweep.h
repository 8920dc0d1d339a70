#pragma once

#include "cli/Console.h"
#include "db/SavedRuns.h"
#include "sweep/SweepEngine.h"

#include <vector>

namespace kestrion::cli {

// The sweep engine's observer for a command: answering addresses as rows (and, when asked for, lines
// on standard output), progress on standard error while it is a terminal, Ctrl-C as Cancel at the next
// address. A question is put to someone at a terminal when there is one and the sweep is not a scheduled
// one; otherwise it is said on standard error and gets the answer of the window's scheduled run.
class ConsoleSweep final : public sweep::SweepObserver {
public:
    enum class Questions { AskAtTerminal, NeverAsk };
    ConsoleSweep(const Console& console, bool printRows, Questions questions = Questions::AskAtTerminal);
    ~ConsoleSweep() override;

    const std::vector<db::ResultRow>& rows() const { return rows_; }
    bool interrupted() const { return interrupted_; }

    sweep::StopRequest stopRequest() override;
    void progress(const QString& address, int16_t percentDone) override;
    void found(const sweep::FoundHost& host) override;
    int ask(const sweep::SweepQuestion& question) override;
    void cancelled() override {}
    void yield() override {}

private:
    void clearProgress();

    const Console& console_;
    bool printRows_;
    Questions questions_;
    bool progressShown_ = false;
    bool interrupted_ = false;
    std::vector<db::ResultRow> rows_;
};

} // namespace kestrion::cli
