#pragma once

#include "core/TFormView.h"

class CListCtrlCl;

// "当日委托": today's orders in a list filling the view; only the 备注 cell is coloured,
// red unless the order is cancelled ("已撤", black).
class CTodayWeituoView final : public CTFormView {
    Q_OBJECT
public:
    explicit CTodayWeituoView(ClientContext& context, QWidget* parent = nullptr);

    void OnInitialUpdate() override;
    // Asks for today's orders again and shows what the table holds now.
    void OnHistoryTableStored() override;
    void OnTodayOrdersStored() override { FillTodayOrderList(); }

    void FillTodayOrderList();
    CListCtrlCl* List() const { return m_list; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void PlaceList();

    CListCtrlCl* m_list;
    bool m_listReady = false;
};
