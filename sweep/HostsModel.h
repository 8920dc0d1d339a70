#pragma once

#include "sweep/SweepEngine.h"

#include <QAbstractTableModel>
#include <array>
#include <vector>

namespace kestrion::sweep {

// The answering hosts of a sweep, in the order they answered: address, host name and round-trip time.
// The display role gives each cell's text as the results grid shows it; RoundTripRole gives the time
// as a number. The header texts are what the grid's format gives them.
class HostsModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { AddressColumn, NameColumn, RoundTripColumn, ColumnCount };
    static constexpr int RoundTripRole = Qt::UserRole;

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                       int role = Qt::EditRole) override;

    void append(const FoundHost& host);
    void clear();
    const std::vector<FoundHost>& hosts() const { return hosts_; }

private:
    std::vector<FoundHost> hosts_;
    std::array<QString, ColumnCount> headers_;
};

} // namespace kestrion::sweep
