#include "sweep/PingSweep.h"

#include "platform/AppTitle.h"
#include "platform/BlockingCall.h"
#include "platform/EchoService.h"
#include "platform/MessageBoxes.h"
#include "platform/OwnState.h"
#include "platform/Twips.h"
#include "sweep/PingTab.h"
#include "sweep/RangeEntry.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <algorithm>
#include <utility>

namespace kestrion::sweep {

using platform::MsgButtons;
using platform::MsgIcon;

namespace {
const QString kTitle = platform::appTitle();
const QString kGridFormat =
    QStringLiteral("<       IP Address     |<                       DNS Name    |<Time (ms)");
constexpr int kColumnTwips[3] = {1500, 2400, 575};
} // namespace

PingSweep::PingSweep(PingTab& tab, RangeEntry& range, SweepState& state, const SweepOptions& options,
                     platform::EchoService& echo, platform::MessageBoxes& boxes,
                     com::ComponentFactory& components, SweepWindow& window)
    : QObject(&tab), tab_(tab), range_(range), state_(state), options_(options), boxes_(boxes),
      window_(window), engine_(echo, &components) {
    connect(tab_.cmdPing, &QPushButton::clicked, this, &PingSweep::cmdPing_Click);
    connect(tab_.cmdCancelPing, &QPushButton::clicked, this, &PingSweep::cmdCancelPing_Click);
    connect(tab_.cmdReset, &QPushButton::clicked, this, &PingSweep::cmdReset_Click);
}

void PingSweep::ApplyGridFormat() {
    QTableWidget* grid = tab_.flxOutBox;
    QStringList headers;
    for (QString cell : kGridFormat.split(QLatin1Char('|'))) {
        if (cell.startsWith(QLatin1Char('<')))
            cell.remove(0, 1);
        headers << cell;
    }
    grid->setColumnCount(3);
    grid->setHorizontalHeaderLabels(headers);
    const QFontMetrics metrics = grid->horizontalHeader()->fontMetrics();
    for (int c = 0; c < 3; ++c) {
        // As with the format string of a grid, a header text wider than its column widens it.
        const int headerWidth = metrics.horizontalAdvance(headers[c]) + 12;
        grid->setColumnWidth(c, std::max(platform::twips(kColumnTwips[c]), headerWidth));
        grid->horizontalHeaderItem(c)->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    }
    // The time column takes what is left, so the header runs the grid's full width.
    grid->horizontalHeader()->setStretchLastSection(true);
}

std::vector<db::ResultRow> PingSweep::resultRows() const {
    std::vector<db::ResultRow> rows;
    const QTableWidget* grid = tab_.flxOutBox;
    for (int r = 0; r < grid->rowCount(); ++r) {
        auto cell = [&](int c) { return grid->item(r, c) ? grid->item(r, c)->text() : QString(); };
        rows.push_back({cell(0), cell(2)});
    }
    return rows;
}

bool PingSweep::resetEnabled() const {
    // Read from the button itself: a dialog that disables the window must not hide an enabled Reset.
    return platform::isOwnEnabled(tab_.cmdReset);
}

void PingSweep::cmdPing_Click() {
    if (!platform::isOwnEnabled(tab_.Text1))
        return;
    range_.TakeRange();
    if (state_.EntryError) {
        window_.Form_Load();
        return;
    }
    window_.DisableDuringSweep();
    PingRange();
    window_.EnableAfterSweep();
    if (state_.StopRequest == QStringLiteral("Exit"))
        return;
    if (std::exchange(resetAfterSweep_, false))
        cmdReset_Click();
    emit sweepEnded();
}

void PingSweep::cmdCancelPing_Click() {
    if (platform::isOwnEnabled(tab_.Text1))
        return;
    tab_.cmdPing->setEnabled(false);
    tab_.cmdReset->setEnabled(true);
    state_.StopRequest = QStringLiteral("Cancel");
    boxes_.show(kTitle + QStringLiteral(" Alert"),
                QStringLiteral("Pinging Cancelled. ") + QLatin1Char('\r') +
                    QStringLiteral("Click Reset to clear results."),
                MsgButtons::Ok, MsgIcon::Exclamation);
}

void PingSweep::cmdReset_Click() {
    // Reset is enabled as soon as a sweep is cancelled, but the sweep only returns at its next check.
    // Initialising the window under it would clear the stop request and let the sweep go on.
    if (state_.SweepRunning) {
        resetAfterSweep_ = true;
        return;
    }
    QTableWidget* grid = tab_.flxOutBox;
    grid->clearContents();
    grid->setHorizontalHeaderLabels({QString(), QString(), QString()});
    grid->setRowCount(0); // the header row alone
    tab_.lbReportIP->clear();
    tab_.lbReportRTT->clear();
    window_.Form_Load();
}

void PingSweep::PingRange() {
    state_.SweepRunning = true;
    struct EndOfSweep {
        bool& running;
        ~EndOfSweep() { running = false; }
    } endOfSweep{state_.SweepRunning};

    lastRefusal_.clear();
    const SweepRange range{state_.Octet1, state_.Octet2, state_.Octet3, state_.FirstHost, state_.LastHost};
    const SweepResult result =
        engine_.run(range, {options_.Timeout, options_.PacketSize}, *this, state_.PercentDone);
    state_.PercentDone = result.percentDone;
    switch (result.outcome) {
    case SweepOutcome::Refused:
        lastRefusal_ = result.refusal;
        if (!state_.ScheduledRunActive)
            boxes_.show(kTitle + QStringLiteral(" Error"), result.refusal, MsgButtons::Ok,
                        MsgIcon::Exclamation);
        break;
    case SweepOutcome::Done:
        finish();
        break;
    case SweepOutcome::Cancelled:
    case SweepOutcome::Ended:
        break;
    }
}

void PingSweep::finish() {
    // A range whose first value lies above its last finishes too, so Reset is never left disabled.
    window_.setStatusPanel(1, QStringLiteral("Done."));
    window_.setStatusPanel(2, QString());
    tab_.cmdPing->setEnabled(false);
    tab_.cmdSaveRun->setEnabled(true);
    window_.repaintStatus();
    tab_.flxOutBox->update();
    tab_.cmdReset->setEnabled(true);
}

StopRequest PingSweep::stopRequest() {
    if (state_.StopRequest == QStringLiteral("Cancel"))
        return StopRequest::Cancel;
    if (state_.StopRequest == QStringLiteral("Exit"))
        return StopRequest::Exit;
    return StopRequest::None;
}

void PingSweep::started() {
    tab_.cmdPing->setEnabled(false);
    tab_.cmdCancelPing->setEnabled(true);
}

void PingSweep::progress(const QString& address, int16_t percentDone) {
    state_.CurrentAddress = address;
    state_.PercentDone = percentDone;
    ShowPingProgress();
}

int PingSweep::ask(const SweepQuestion& question) {
    if (state_.ScheduledRunActive)
        return unaskedAnswer(question);
    return boxes_.show(question.title, question.text, question.buttons, question.icon);
}

void PingSweep::cancelled() {
    state_.StopRequest = QStringLiteral("Cancel");
    ShowPingProgress();
}

void PingSweep::yield() {
    QCoreApplication::processEvents();
}

void PingSweep::wait(const std::function<void()>& call) {
    platform::runWhilePainting(waitWorker_, call);
}

void PingSweep::found(const FoundHost& host) {
    QTableWidget* grid = tab_.flxOutBox;
    const int row = grid->rowCount();
    grid->insertRow(row);
    const QString cells[3] = {host.address, host.name, QString::number(host.roundTripTime)};
    for (int c = 0; c < 3; ++c)
        grid->setItem(row, c, new QTableWidgetItem(cells[c]));
    grid->update();
    tab_.lbReportIP->addItem(host.address);
    tab_.lbReportRTT->addItem(cells[2]);
    tab_.lbReportIP->setCurrentRow(tab_.lbReportIP->count() - 1);
    tab_.lbReportRTT->setCurrentRow(tab_.lbReportRTT->count() - 1);
}

void PingSweep::ShowPingProgress() {
    if (state_.StopRequest == QStringLiteral("Cancel")) {
        window_.setStatusPanel(1, QStringLiteral("Cancelled."));
        window_.repaintStatus();
        tab_.cmdReset->setEnabled(true);
        window_.setCaption(kTitle);
        return;
    }
    window_.setStatusPanel(1, QStringLiteral("Pinging ") + state_.CurrentAddress);
    window_.repaintStatus();
    window_.setCaption(window_.isMinimised() ? kTitle + QStringLiteral(" - ") +
                                                   QString::number(state_.PercentDone) + QLatin1Char('%')
                                             : kTitle);
    RefreshResults();
}

void PingSweep::RefreshResults() {
    tab_.flxOutBox->update();
    window_.repaintStatus();
}

} // namespace kestrion::sweep
