#pragma once

#include "cli/Console.h"
#include "cli/Records.h"
#include "sweep/SweepSession.h"

#include <QObject>

namespace kestrion::cli {

// A command's view of a sweep session: answering addresses as records on standard output (when given
// a writer for them; sweepFields() are their fields), progress on standard error while it is a terminal,
// Ctrl-C as a stop request at the next address. A question is put to someone at a terminal when there is one;
// otherwise (and for an unattended session) it is said on standard error and gets the answer that goes on.
// The fields of a sweep's records: address, host name, round-trip time in ms.
QList<Field> sweepFields();

class ConsoleSweep final : public QObject {
    Q_OBJECT
public:
    // What Ctrl-C asks of the session: Cancel for a sweep that reports what it found, Exit for a
    // scheduled run, which then saves nothing.
    ConsoleSweep(sweep::SweepSession& session, const Console& console, RecordWriter* rows,
                 sweep::StopRequest onInterrupt = sweep::StopRequest::Cancel);
    ~ConsoleSweep() override;

    bool interrupted() const { return interrupted_; }

private:
    void checkInterrupt();
    void progress(const QString& address, int percentDone);
    void found(const sweep::FoundHost& host);
    void ask(const sweep::SweepQuestion& question, int* answer);
    void say(const sweep::SweepQuestion& question);
    void clearProgress();

    sweep::SweepSession& session_;
    const Console& console_;
    RecordWriter* rows_;
    sweep::StopRequest onInterrupt_;
    bool progressShown_ = false;
    bool interrupted_ = false;
};

} // namespace kestrion::cli
