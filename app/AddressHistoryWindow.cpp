#include "app/AddressHistoryWindow.h"

#include "schedule/ChangeTexts.h"

#include <QHeaderView>
#include <QLabel>
#include <QTableView>
#include <QVBoxLayout>

namespace kestrion::app {

AddressHistoryModel::AddressHistoryModel(QObject* parent) : QAbstractTableModel(parent) {}

void AddressHistoryModel::setHistory(db::AddressHistory history) {
    beginResetModel();
    history_ = std::move(history);
    endResetModel();
}

int AddressHistoryModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(history_.sweeps.size());
}

int AddressHistoryModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 3;
}

QVariant AddressHistoryModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    // Newest first: the latest sweep is what the user asks about most.
    const db::HistoryEntry& entry =
        history_.sweeps[history_.sweeps.size() - 1 - static_cast<size_t>(index.row())];
    if (role == Qt::TextAlignmentRole && index.column() == 2)
        return QVariant(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case 0:
        return schedule::sweepDateText(entry.date);
    case 1:
        return entry.answered ? QStringLiteral("Answered") : QStringLiteral("Silent");
    default:
        if (!entry.answered)
            return QString();
        return entry.roundTripTime ? QString::number(*entry.roundTripTime) : QStringLiteral("?");
    }
}

QVariant AddressHistoryModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case 0:
        return QStringLiteral("Sweep");
    case 1:
        return QStringLiteral("Answer");
    default:
        return QStringLiteral("Time (ms)");
    }
}

QString historySummary(const db::AddressHistory& h, const QLocale& locale) {
    QString text = QStringLiteral("Answered in %1 of %2 logged sweeps").arg(h.answeredIn).arg(h.logged);
    if (h.notLogged > 0)
        text += QStringLiteral(" (%1 earlier sweeps not logged)").arg(h.notLogged);
    text += QLatin1Char('.');
    if (!h.firstSeen.isNull())
        text += QStringLiteral("\nFirst seen %1, last seen %2.")
                    .arg(schedule::sweepDateText(h.firstSeen, locale),
                         schedule::sweepDateText(h.lastSeen, locale));
    if (!h.silentSince.isNull())
        text += QStringLiteral("\nSilent since %1 (%2 %3).")
                    .arg(schedule::sweepDateText(h.silentSince, locale))
                    .arg(h.sweepsSinceLastAnswer)
                    .arg(h.sweepsSinceLastAnswer == 1 ? QStringLiteral("sweep") : QStringLiteral("sweeps"));
    if (h.lastTime || h.medianTime)
        text += QStringLiteral("\nLast time %1 ms, median %2 ms.")
                    .arg(h.lastTime ? QString::number(*h.lastTime) : QStringLiteral("?"),
                         h.medianTime ? QString::number(*h.medianTime) : QStringLiteral("?"));
    return text;
}

AddressHistoryWindow::AddressHistoryWindow(QWidget* parent)
    : QDialog(parent), model_(new AddressHistoryModel(this)), summary_(new QLabel(this)),
      table_(new QTableView(this)) {
    setObjectName(QStringLiteral("frmAddressHistory"));
    setModal(false);
    // The map keeps the keyboard: the arrows and Return go on choosing cells while this follows them.
    setAttribute(Qt::WA_ShowWithoutActivating);
    summary_->setWordWrap(true);
    summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    table_->setModel(model_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setAlternatingRowColors(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(summary_);
    layout->addWidget(table_, 1);
    resize(420, 380);
}

void AddressHistoryWindow::showHistory(const QString& range, db::AddressHistory history) {
    setWindowTitle(history.address + QStringLiteral(" in ") + range);
    summary_->setText(historySummary(history));
    model_->setHistory(std::move(history));
    table_->resizeColumnToContents(0);
    table_->resizeColumnToContents(1);
    table_->scrollToTop();
    show();
    raise();
}

QString AddressHistoryWindow::summaryText() const {
    return summary_->text();
}

bool showAddressHistory(AddressHistoryWindow& window, db::SavedRuns& runs, bool sweepRunning,
                        db::DatabaseBusy& busy, const QString& range, const QString& address) {
    if (sweepRunning || busy.depth > 0)
        return false;
    std::optional<db::AddressHistory> history = runs.addressHistory(range, address);
    if (!history)
        return false;
    window.showHistory(range, std::move(*history));
    return true;
}

} // namespace kestrion::app
