#pragma once

#include "core/TFormView.h"

class CListCtrlCl;

// "当日成交": today's trades in a list filling the view, each row red for a sale ("卖出")
// and blue otherwise.
class CTodayTradeView final : public CTFormView {
    Q_OBJECT
public:
    explicit CTodayTradeView(ClientContext& context, QWidget* parent = nullptr);

    void OnInitialUpdate() override;
    // Asks for today's trades again and shows what the table holds now.
    void OnHistoryTableStored() override;
    void OnTodayTradesStored() override { FillTodayTradeList(); }

    void FillTodayTradeList();
    CListCtrlCl* List() const { return m_list; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void PlaceList(int left);

    CListCtrlCl* m_list;
    bool m_listReady = false;
};
