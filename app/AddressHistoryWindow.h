#pragma once

#include "db/AddressHistory.h"
#include "db/SavedRuns.h"

#include <QAbstractTableModel>
#include <QDialog>

class QLabel;
class QTableView;

namespace kestrion::app {

// One address's logged sweeps, newest first: the sweep's date, whether it answered, its time.
class AddressHistoryModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit AddressHistoryModel(QObject* parent = nullptr);

    void setHistory(db::AddressHistory history);
    const db::AddressHistory& history() const { return history_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    db::AddressHistory history_;
};

// "Answered in 3 of 5 logged sweeps (2 earlier sweeps not logged). First seen ..., last seen ...;
// silent since ... (2 sweeps). Last time 4 ms, median 3 ms."
QString historySummary(const db::AddressHistory& history, const QLocale& locale = QLocale::system());

// A window of its own beside the main window (it holds nothing back: not modal), showing the history of
// the address last chosen on the block map.
class AddressHistoryWindow final : public QDialog {
    Q_OBJECT
public:
    explicit AddressHistoryWindow(QWidget* parent = nullptr);

    void showHistory(const QString& range, db::AddressHistory history);
    const AddressHistoryModel& model() const { return *model_; }
    QString summaryText() const;

private:
    AddressHistoryModel* model_;
    QLabel* summary_;
    QTableView* table_;
};

// Reads the address's history in the run and shows it; while a sweep or another database operation
// runs it does nothing and returns false, as the block map does.
bool showAddressHistory(AddressHistoryWindow& window, db::SavedRuns& runs, bool sweepRunning,
                        db::DatabaseBusy& busy, const QString& range, const QString& address);

} // namespace kestrion::app
