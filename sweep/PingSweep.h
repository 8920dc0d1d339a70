#pragma once

#include "sweep/SweepSession.h"
#include "sweep/SweepState.h"

#include <QObject>
#include <QString>

namespace kestrion::platform {
class MessageBoxes;
} // namespace kestrion::platform

namespace kestrion::sweep {

class PingTab;
class RangeEntry;

// The Ping, Cancel and Reset buttons over the window's sweep session: the grid and the two lists show
// the session's hosts, the status texts and the caption follow its signals, and its questions go to the
// message boxes. Whoever runs the session (the Ping button or a scheduled run), the tab shows it the
// same way.
class PingSweep : public QObject {
    Q_OBJECT
public:
    PingSweep(PingTab& tab, RangeEntry& range, SweepSession& session, const SweepOptions& options,
              platform::MessageBoxes& boxes);

    void cmdPing_Click();
    void cmdCancelPing_Click();
    void cmdReset_Click();

    // Column widths and header texts of the results grid; the window's set-up step applies them.
    void ApplyGridFormat();
    // Reset can be clicked: a sweep has ended or been cancelled since the last initialisation.
    bool resetEnabled() const;

signals:
    // A status bar panel's new text (painted with the next frame).
    void statusText(int panel, const QString& text);
    void captionChanged(const QString& caption);
    // The window's initialisation is due: after an entry error, and by Reset.
    void initialisationRequested();
    // After the Ping action's sweep has returned (not when Exit is closing the window): a schedule that
    // fell due meanwhile can run now.
    void sweepEnded();

private:
    void showProgress();
    void showFound();
    void showFinished(const SweepResult& result);
    void ask(const SweepQuestion& question, int* answer);

    PingTab& tab_;
    RangeEntry& range_;
    SweepSession& session_;
    const SweepOptions& options_;
    platform::MessageBoxes& boxes_;
    // Reset clicked at a yield of a cancelled sweep: done once the sweep has returned.
    bool resetAfterSweep_ = false;
};

} // namespace kestrion::sweep
