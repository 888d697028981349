#include "account/AccountList.h"

#include "account/ListCtrlCl.h"

void SetUpAccountList(CListCtrlCl& list, const std::vector<CListCtrlCl::Column>& columns) {
    list.m_headerHeightFactor = 1.5f;
    list.SetRowHeight();
    list.AddColumns(columns);
    list.m_headerTopLine = true;
}

int AppendAccountRow(CListCtrlCl& list, const QStringList& cells) {
    const int row = list.InsertItem(list.GetItemCount(), cells.value(0));
    for (int c = 1; c < cells.size(); ++c)
        list.SetItemText(row, c, cells[c]);
    return row;
}

void ColourAccountRow(CListCtrlCl& list, int row, const QColor& colour) {
    for (int c = 0; c < list.columnCount(); ++c)
        list.SetItemTextColor(c, row, colour);
}
