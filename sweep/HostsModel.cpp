#include "sweep/HostsModel.h"

namespace kestrion::sweep {

int HostsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(hosts_.size());
}

int HostsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant HostsModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const FoundHost& host = hosts_[static_cast<size_t>(index.row())];
    if (role == RoundTripRole)
        return host.roundTripTime;
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case AddressColumn:
        return host.address;
    case NameColumn:
        return host.name;
    default:
        // The grid's text: plain digits, never a locale's group separators.
        return QString::number(host.roundTripTime);
    }
}

QVariant HostsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= ColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    return headers_[static_cast<size_t>(section)];
}

bool HostsModel::setHeaderData(int section, Qt::Orientation orientation, const QVariant& value, int role) {
    if (orientation != Qt::Horizontal || (role != Qt::EditRole && role != Qt::DisplayRole) || section < 0 ||
        section >= ColumnCount)
        return false;
    headers_[static_cast<size_t>(section)] = value.toString();
    emit headerDataChanged(orientation, section, section);
    return true;
}

void HostsModel::append(const FoundHost& host) {
    const int row = static_cast<int>(hosts_.size());
    beginInsertRows({}, row, row);
    hosts_.push_back(host);
    endInsertRows();
}

void HostsModel::clear() {
    if (hosts_.empty())
        return;
    beginResetModel();
    hosts_.clear();
    endResetModel();
}

} // namespace kestrion::sweep
