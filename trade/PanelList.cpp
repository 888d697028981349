#include "trade/PanelList.h"

#include "account/ListCtrlCl.h"

#include <QVBoxLayout>

CListCtrlCl* CreatePanelList(QWidget* panel) {
    auto* list = new CListCtrlCl(panel);
    list->setObjectName(QStringLiteral("id1041"));
    list->m_headerHeightFactor = 1.5f;
    list->SetRowHeight();
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(list);
    return list;
}

void ResetRows(CListCtrlCl* list, int rows) {
    list->DeleteAllItems();
    list->setRowCount(rows);
}

ListFillScope::ListFillScope(CListCtrlCl* list)
    : m_list(list)
    , m_wasEnabled(list->updatesEnabled()) {
    m_list->setUpdatesEnabled(false);
}

ListFillScope::~ListFillScope() {
    m_list->setUpdatesEnabled(m_wasEnabled);
}
