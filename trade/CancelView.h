#pragma once

#include "core/TFormView.h"

class CListCtrlCl;
class CXPButton;
class CTStatic;

// The cancellation view ("撤单[F3]"): today's orders that can still be cancelled, cancelled
// by a double-click or by the buttons, always after a question.
class CCancelView final : public CTFormView {
    Q_OBJECT
public:
    explicit CCancelView(ClientContext& context, QWidget* parent = nullptr);

    void OnInitialUpdate() override;
    // A history table was stored: refresh like the 刷 新 button.
    void OnHistoryTableStored() override;
    // Today's orders arrived (after a refresh or a cancel): the list follows at once.
    void OnTodayOrdersStored() override;

    // Rebuilds the list from today's orders, leaving out filled and cancelled ones.
    void FillOpenOrderList();
    CListCtrlCl* List() const { return m_list; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void Refresh();
    void PlaceList();
    // Runs `action` unless another one is still waiting for its question to be answered.
    template <typename Action>
    void RunOnce(Action action);

    CXPButton* m_refresh = nullptr; // 1038
    CListCtrlCl* m_list = nullptr;  // 1043
    CTStatic* m_hint = nullptr;     // 1046
    bool m_acting = false;
};
