#include "sweep/PingSweep.h"

#include "platform/AppTitle.h"
#include "platform/MessageBoxes.h"
#include "platform/OwnState.h"
#include "platform/Twips.h"
#include "sweep/PingTab.h"
#include "sweep/RangeEntry.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTableView>
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

PingSweep::PingSweep(PingTab& tab, RangeEntry& range, SweepSession& session, const SweepOptions& options,
                     platform::MessageBoxes& boxes)
    : QObject(&tab), tab_(tab), range_(range), session_(session), options_(options), boxes_(boxes) {
    HostsModel& hosts = session_.hosts();
    tab_.flxOutBox->setModel(&hosts);
    tab_.lbReportIP->setModel(&hosts);
    tab_.lbReportIP->setModelColumn(HostsModel::AddressColumn);
    tab_.lbReportRTT->setModel(&hosts);
    tab_.lbReportRTT->setModelColumn(HostsModel::RoundTripColumn);

    connect(tab_.cmdPing, &QPushButton::clicked, this, &PingSweep::cmdPing_Click);
    connect(tab_.cmdCancelPing, &QPushButton::clicked, this, &PingSweep::cmdCancelPing_Click);
    connect(tab_.cmdReset, &QPushButton::clicked, this, &PingSweep::cmdReset_Click);

    connect(&session_, &SweepSession::started, this, [this] {
        tab_.cmdPing->setEnabled(false);
        tab_.cmdCancelPing->setEnabled(true);
    });
    connect(&session_, &SweepSession::progress, this, &PingSweep::showProgress);
    connect(&session_, &SweepSession::cancelled, this, &PingSweep::showProgress);
    connect(&session_, &SweepSession::found, this, &PingSweep::showFound);
    connect(&session_, &SweepSession::question, this, &PingSweep::ask);
    connect(&session_, &SweepSession::finished, this, &PingSweep::showFinished);
}

void PingSweep::ApplyGridFormat() {
    QTableView* grid = tab_.flxOutBox;
    HostsModel& hosts = session_.hosts();
    QStringList headers;
    for (QString cell : kGridFormat.split(QLatin1Char('|'))) {
        if (cell.startsWith(QLatin1Char('<')))
            cell.remove(0, 1);
        headers << cell;
    }
    for (int c = 0; c < HostsModel::ColumnCount; ++c)
        hosts.setHeaderData(c, Qt::Horizontal, headers[c]);
    grid->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    const QFontMetrics metrics = grid->horizontalHeader()->fontMetrics();
    for (int c = 0; c < HostsModel::ColumnCount; ++c) {
        // As with the format string of a grid, a header text wider than its column widens it.
        const int headerWidth = metrics.horizontalAdvance(headers[c]) + 12;
        grid->setColumnWidth(c, std::max(platform::twips(kColumnTwips[c]), headerWidth));
    }
    // The time column takes what is left, so the header runs the grid's full width.
    grid->horizontalHeader()->setStretchLastSection(true);
}

bool PingSweep::resetEnabled() const {
    // Read from the button itself: a dialog that disables the window must not hide an enabled Reset.
    return platform::isOwnEnabled(tab_.cmdReset);
}

void PingSweep::cmdPing_Click() {
    if (!platform::isOwnEnabled(tab_.Text1))
        return;
    const std::optional<SweepRange> range = range_.TakeRange();
    if (!range) {
        emit initialisationRequested();
        return;
    }
    session_.setRange(*range);
    session_.setSettings({options_.Timeout, options_.PacketSize});
    session_.setPacing(Pacing{options_.ParallelSweep});
    session_.run();
    if (session_.stopRequest() == StopRequest::Exit)
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
    session_.requestStop(StopRequest::Cancel);
    boxes_.show(kTitle + QStringLiteral(" Alert"),
                QStringLiteral("Pinging Cancelled. ") + QLatin1Char('\r') +
                    QStringLiteral("Click Reset to clear results."),
                MsgButtons::Ok, MsgIcon::Exclamation);
}

void PingSweep::cmdReset_Click() {
    // Reset is enabled as soon as a sweep is cancelled, but the sweep only returns at its next check.
    // Initialising the window under it would clear the stop request and let the sweep go on.
    if (session_.isRunning()) {
        resetAfterSweep_ = true;
        return;
    }
    HostsModel& hosts = session_.hosts();
    session_.clearHosts(); // the grid keeps its header row alone, and the lists empty
    for (int c = 0; c < HostsModel::ColumnCount; ++c)
        hosts.setHeaderData(c, Qt::Horizontal, QString());
    emit initialisationRequested();
}

void PingSweep::showFinished(const SweepResult& result) {
    switch (result.outcome) {
    case SweepOutcome::Refused:
        if (!session_.unattended())
            boxes_.show(kTitle + QStringLiteral(" Error"), result.refusal, MsgButtons::Ok,
                        MsgIcon::Exclamation);
        break;
    case SweepOutcome::Done:
        // A range whose first value lies above its last finishes too, so Reset is never left disabled.
        emit statusText(1, QStringLiteral("Done."));
        emit statusText(2, QString());
        tab_.cmdPing->setEnabled(false);
        tab_.cmdSaveRun->setEnabled(true);
        tab_.cmdReset->setEnabled(true);
        break;
    case SweepOutcome::Cancelled:
    case SweepOutcome::Ended:
        break;
    }
}

void PingSweep::ask(const SweepQuestion& question, int* answer) {
    *answer = boxes_.show(question.title, question.text, question.buttons, question.icon);
}

void PingSweep::showFound() {
    const int last = session_.hosts().rowCount() - 1;
    tab_.lbReportIP->setCurrentIndex(session_.hosts().index(last, HostsModel::AddressColumn));
    tab_.lbReportRTT->setCurrentIndex(session_.hosts().index(last, HostsModel::RoundTripColumn));
}

void PingSweep::showProgress() {
    if (session_.stopRequest() == StopRequest::Cancel) {
        emit statusText(1, QStringLiteral("Cancelled."));
        tab_.cmdReset->setEnabled(true);
        emit captionChanged(kTitle);
        return;
    }
    emit statusText(1, QStringLiteral("Pinging ") + session_.currentAddress());
    emit captionChanged(tab_.window()->isMinimized()
                            ? kTitle + QStringLiteral(" - ") + QString::number(session_.percentDone()) +
                                  QLatin1Char('%')
                            : kTitle);
}

} // namespace kestrion::sweep
