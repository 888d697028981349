#pragma once

#include <QWidget>

class CListCtrlCl;
struct ClientContext;

// Today's trades panel of the order forms: every trade of the day, each row red for a
// sale ("卖出") and blue otherwise.
class CTradeDlg final : public QWidget {
    Q_OBJECT
public:
    explicit CTradeDlg(ClientContext& context, QWidget* parent = nullptr);

    // Rebuilds the list from today's trades table.
    void FillTradeList();
    CListCtrlCl* List() const { return m_list; }

private:
    ClientContext& m_context;
    CListCtrlCl* m_list = nullptr;
};
