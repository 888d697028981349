#pragma once

#include "wire/MarketRecords.h"

#include <QAbstractTableModel>
#include <QString>

#include <vector>

// The quote board's rows as a table: 代码 to 成交额. A refresh updates the rows in place
// when the same securities come back in the same order (a sorted view keeps its order and
// selection); the display role is the text, kSortRole the number a column sorts by.
class CBoardModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { kCode, kName, kLast, kChange, kChangePct, kPrevClose, kOpen, kHigh, kLow, kVolume, kAmount, kCount };
    static constexpr int kSortRole = Qt::UserRole + 1;

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void SetRows(std::vector<net::BoardRecord> rows);
    const net::BoardRecord& Row(int row) const { return m_rows[static_cast<std::size_t>(row)]; }
    QString Code(int row) const;
    // The text a cell shows (also what tests compare).
    static QString CellText(const net::BoardRecord& row, int column);
    // 成交额: yuan below 10,000, then 万 and 亿 with two decimals.
    static QString AmountText(std::int64_t cents);

private:
    std::vector<net::BoardRecord> m_rows;
};
