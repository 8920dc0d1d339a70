#include "sweep/PingSweep.h"

#include "platform/AppState.h"
#include "platform/BlockingCall.h"
#include "platform/EchoService.h"
#include "platform/MessageBoxes.h"
#include "platform/OwnState.h"
#include "platform/Twips.h"
#include "platform/com/Com.h"
#include "resolver/IWSResolver.h"
#include "sweep/PingTab.h"
#include "sweep/RangeEntry.h"
#include "sweep/SweepRules.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <algorithm>
#include <utility>

namespace kestrion::sweep {

using platform::AnswerCancel;
using platform::AnswerNo;
using platform::AnswerOk;
using platform::AnswerYes;
using platform::MsgButtons;
using platform::MsgIcon;

namespace {
const QString kTitle = QStringLiteral("Kestrion");
const QString kGridFormat =
    QStringLiteral("<       IP Address     |<                       DNS Name    |<Time (ms)");
constexpr int kColumnTwips[3] = {1500, 2400, 575};

QString hresultText(com::HRESULT hr) {
    return QStringLiteral("0x") +
           QString::number(static_cast<uint32_t>(hr), 16).toUpper().rightJustified(8, QLatin1Char('0'));
}
} // namespace

PingSweep::PingSweep(PingTab& tab, RangeEntry& range, platform::AppState& state, platform::EchoService& echo,
                     platform::MessageBoxes& boxes, com::ComponentFactory& components, SweepWindow& window)
    : QObject(&tab), tab_(tab), range_(range), state_(state), echo_(echo), boxes_(boxes),
      components_(components), window_(window) {
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

    // Where no echo socket can be had at all, say why once instead of failing at every address.
    lastRefusal_.clear();
    if (platform::EchoOpenResult probe = echo_.open(); !probe.channel) {
        lastRefusal_ = QString::fromStdString(probe.error);
        if (!state_.ScheduledRunActive)
            boxes_.show(kTitle + QStringLiteral(" Error"), QString::fromStdString(probe.error),
                        MsgButtons::Ok, MsgIcon::Exclamation);
        return;
    }

    const std::vector<uint8_t> request(static_cast<size_t>(std::max<int16_t>(state_.PacketSize, 0)), 'T');
    tab_.cmdPing->setEnabled(false);
    tab_.cmdCancelPing->setEnabled(true);

    // Released on every way out of the sweep, and its library let go once it serves nothing.
    struct SweepResolver {
        com::ComponentFactory& components;
        com::ComPtr<resolver::IWSResolver> object;
        ~SweepResolver() {
            if (object) {
                object.reset();
                components.freeUnusedLibraries();
            }
        }
    } resolverOfSweep{components_, {}};
    com::ComPtr<resolver::IWSResolver>& names = resolverOfSweep.object;
    bool namesUnavailable = false;

    auto stopWith = [&](const QString& message) {
        boxes_.show(kTitle + QStringLiteral(" Termination"), message, MsgButtons::Ok, MsgIcon::None);
        state_.StopRequest = QStringLiteral("Cancel");
        ShowPingProgress();
    };

    const int16_t last = state_.LastHost;
    for (int16_t n = state_.FirstHost; n <= last; ++n) {
        if (state_.StopRequest == QStringLiteral("Cancel")) {
            ShowPingProgress();
            return;
        }
        if (state_.StopRequest == QStringLiteral("Exit"))
            return;
        current_ = n;
        state_.CurrentAddress = state_.Octet1 + QLatin1Char('.') + state_.Octet2 + QLatin1Char('.') +
                                state_.Octet3 + QLatin1Char('.') + QString::number(n);
        ShowPingProgress();

        const int32_t destination = AddressToLong(state_.CurrentAddress);
        platform::EchoReply reply{0, platform::echo_status::GeneralFailure, 0, 0};
        if (platform::EchoOpenResult handle = echo_.open(); handle.channel) {
            platform::runWhilePainting([&] {
                reply = handle.channel->send(static_cast<uint32_t>(destination), request, state_.Timeout);
            });
        }

        const Verdict verdict = judge(reply, static_cast<uint32_t>(destination));
        switch (verdict) {
        case Verdict::Silent:
            break;
        case Verdict::NetUnreachable:
        case Verdict::BadDestination:
        case Verdict::PingFailed: {
            const QString text = verdict == Verdict::PingFailed
                                     ? pingFailedText(state_.CurrentAddress, reply.status, destination,
                                                      static_cast<int32_t>(reply.address))
                                     : unreachableNetworkText(destination, reply.status);
            const int answer = state_.ScheduledRunActive
                                   ? AnswerOk
                                   : boxes_.show(kTitle + QStringLiteral(" Error"), text,
                                                 MsgButtons::OkCancel, MsgIcon::Exclamation);
            if (answer == AnswerCancel) {
                stopWith(cancelledByBoxText(verdict));
                return;
            }
            break;
        }
        case Verdict::HostUnreachable: {
            const int answer = state_.ScheduledRunActive
                                   ? AnswerYes
                                   : boxes_.show(kTitle + QStringLiteral(" Alert"), hostUnreachableText(),
                                                 MsgButtons::YesNo, MsgIcon::Exclamation);
            if (answer == AnswerNo) {
                ShowPingProgress();
                stopWith(cancelledByBoxText(verdict));
                return;
            }
            break;
        }
        case Verdict::Success: {
            if (!names && !namesUnavailable) {
                const com::HRESULT hr = components_.createInstance(resolver::CLSID_WSResolver,
                                                                   resolver::IID_IWSResolver, names.put());
                if (com::Failed(hr) || !names) {
                    names.reset();
                    namesUnavailable = true;
                    if (!state_.ScheduledRunActive)
                        boxes_.show(
                            kTitle + QStringLiteral(" Error"),
                            QStringLiteral("Host names are not available: the name resolver component "
                                           "could not be created (error %1). Answering addresses are "
                                           "listed with \"Not available\". Registering the Resolver "
                                           "library with kregsvr makes the names available.")
                                .arg(hresultText(hr)),
                            MsgButtons::Ok, MsgIcon::Exclamation);
                }
            }
            QString name = QStringLiteral("Not available");
            if (names) {
                std::string buffer(resolver::kHostNameChars, ' ');
                buffer.push_back('\0');
                const QByteArray address = state_.CurrentAddress.toLatin1();
                platform::runWhilePainting([&] { names->GetHostByAddr(address.constData(), buffer.data()); });
                name = hostNameFromBuffer(buffer.data(), resolver::kHostNameChars);
            }
            addRow(state_.CurrentAddress, name, reply.roundTripTime);
            break;
        }
        }

        QCoreApplication::processEvents();
    }

    // A range whose first value lies above its last finishes too, so Reset is never left disabled.
    window_.setStatusPanel(1, QStringLiteral("Done."));
    window_.setStatusPanel(2, QString());
    tab_.cmdPing->setEnabled(false);
    tab_.cmdSaveRun->setEnabled(true);
    window_.repaintStatus();
    tab_.flxOutBox->update();
    tab_.cmdReset->setEnabled(true);
}

void PingSweep::addRow(const QString& address, const QString& name, uint32_t roundTripTime) {
    QTableWidget* grid = tab_.flxOutBox;
    const int row = grid->rowCount();
    grid->insertRow(row);
    const QString cells[3] = {address, name, QString::number(roundTripTime)};
    for (int c = 0; c < 3; ++c)
        grid->setItem(row, c, new QTableWidgetItem(cells[c]));
    grid->update();
    tab_.lbReportIP->addItem(address);
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
    state_.PercentDone = progressPercent(state_.FirstHost, state_.LastHost, current_, state_.PercentDone);
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
