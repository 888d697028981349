#pragma once

#include <QWidget>

class CListCtrlCl;
struct ClientContext;

// Today's orders panel of the order forms: every order of the day (also filled and
// cancelled ones), the 备注 cell red unless the order was cancelled; a double-click on an
// order that is not completely filled cancels it after a question.
class CWeituoDlg final : public QWidget {
    Q_OBJECT
public:
    explicit CWeituoDlg(ClientContext& context, QWidget* parent = nullptr);

    // Rebuilds the list from today's orders table.
    void FillOrderList();
    CListCtrlCl* List() const { return m_list; }

private:
    void OnRowDoubleClicked(int row);

    ClientContext& m_context;
    CListCtrlCl* m_list = nullptr;
};
