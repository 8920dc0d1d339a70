#pragma once

#include "db/SavedRuns.h"
#include "platform/BlockingCall.h"
#include "sweep/SweepEngine.h"
#include "sweep/SweepState.h"

#include <QObject>
#include <cstdint>
#include <vector>

namespace kestrion::platform {
class EchoService;
class MessageBoxes;
} // namespace kestrion::platform
namespace kestrion::com {
class ComponentFactory;
}

namespace kestrion::sweep {

class PingTab;
class RangeEntry;

// What the sweep needs of the main window it runs in.
class SweepWindow {
public:
    virtual ~SweepWindow() = default;
    virtual void setStatusPanel(int panel, const QString& text) = 0;
    virtual void repaintStatus() = 0;
    virtual void setCaption(const QString& caption) = 0;
    virtual bool isMinimised() const = 0;
    virtual void DisableDuringSweep() = 0;
    virtual void EnableAfterSweep() = 0;
    // The main window's initialisation, run again after an entry error and by Reset.
    virtual void Form_Load() = 0;
};

// The Ping, Cancel and Reset buttons, and the sweep engine's window: the grid, the lists, the status bar
// and the caption show what the engine reports; the sweep's questions go to the message boxes.
class PingSweep : public QObject, private SweepObserver {
    Q_OBJECT
public:
    PingSweep(PingTab& tab, RangeEntry& range, SweepState& state, const SweepOptions& options,
              platform::EchoService& echo, platform::MessageBoxes& boxes, com::ComponentFactory& components,
              SweepWindow& window);

    void cmdPing_Click();
    void cmdCancelPing_Click();
    void cmdReset_Click();
    void PingRange();
    void ShowPingProgress();
    void RefreshResults();

    // Column widths and header texts of the results grid; the window's set-up step applies them.
    void ApplyGridFormat();
    // The answering addresses of the grid with their round-trip times, in sweep order.
    std::vector<db::ResultRow> resultRows() const;
    // Reset can be clicked: a sweep has ended or been cancelled since the last initialisation.
    bool resetEnabled() const;
    // Why the last sweep could not start (no echo socket could be opened); empty when it ran.
    const QString& lastRefusal() const { return lastRefusal_; }

signals:
    // After the Ping action's sweep has returned (not when Exit is closing the window): a schedule that
    // fell due meanwhile can run now.
    void sweepEnded();

private:
    // SweepObserver
    StopRequest stopRequest() override;
    void started() override;
    void progress(const QString& address, int16_t percentDone) override;
    void found(const FoundHost& host) override;
    int ask(const SweepQuestion& question) override;
    void cancelled() override;
    void yield() override;
    void wait(const std::function<void()>& call) override;

    void finish();

    PingTab& tab_;
    RangeEntry& range_;
    SweepState& state_;
    const SweepOptions& options_;
    platform::MessageBoxes& boxes_;
    SweepWindow& window_;
    SweepEngine engine_;
    QString lastRefusal_;
    // Reset clicked at a yield of a cancelled sweep: done once the sweep has returned.
    bool resetAfterSweep_ = false;
    // Last, so destroyed first: its thread is joined before anything a call in flight could use goes.
    platform::BlockingCallWorker waitWorker_;
};

} // namespace kestrion::sweep
