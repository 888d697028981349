#pragma once

#include "core/TFormView.h"
#include "trade/OrderCancel.h"

#include <QColor>
#include <QPointer>
#include <QString>

#include <array>
#include <chrono>
#include <string>

class CLcDlg;
class CTEdit;
class CTradeDlg;
class CWeituoDlg;
class CXPButton;
class QKeyEvent;
class QLabel;
class QTabWidget;
class QTimer;

// The order form that the buy and the sell view share: code, name, price, the amount the
// user may trade, quantity with presets and spins, a five-level quote panel polled from
// the quote table, the cancel and refresh buttons, and a tab control below with the
// positions, today's trades and today's orders panels. The two views supply what differs.
class COrderFormView : public CTFormView {
    Q_OBJECT
public:
    ~COrderFormView() override;

    void OnInitialUpdate() override;
    void OnHistoryTableStored() override;
    void OnRedrawPanels() override;
    void OnPositionsStored() override;
    void OnTodayTradesStored() override;
    void OnTodayOrdersStored() override;
    void OnFundsStored() override;

    // One tick of the quote timer: copies the quote of the typed code into the panel
    // (only texts that changed are rewritten) and fills a default price when it is empty.
    void RefreshQuotePanel();
    // One tick of the position timer: refills the positions panel when its row count no
    // longer matches the positions table.
    void CheckPositionCount();
    // Empties the form and puts "-" into every quote value.
    void ResetForm();

    CLcDlg* PositionsPanel() const { return m_positionsPanel; }
    CTradeDlg* TradesPanel() const { return m_tradesPanel; }
    CWeituoDlg* OrdersPanel() const { return m_ordersPanel; }
    QTabWidget* Tabs() const { return m_tabs; }

    // The longest quantity and the highest price the edits and their spins produce.
    static constexpr long long kMaxQuantity = 999'999'999;
    static constexpr double kMaxPrice = 999'999.99;

    static constexpr int kPositionsTab = 0;
    static constexpr int kTradesTab = 1;
    static constexpr int kOrdersTab = 2;

protected:
    // What the two forms' templates and timers differ in.
    struct FormTraits {
        QString title;
        QColor titleColour;
        QString priceLabel;
        QString amountLabel;
        QString quantityLabel;
        QString submitText;
        int quoteIntervalMs;
        int positionIntervalMs;
        int resizeTabGap; // pixels between the refresh button and the tab control on resize
        // Label ids of the rows 买一 to 买五 and of 最新, 涨幅, 涨停, 跌停.
        std::array<int, 5> bidLabelIds;
        std::array<int, 4> summaryLabelIds;
    };

    COrderFormView(ClientContext& context, QWidget* parent, const FormTraits& traits);

    // The order button.
    virtual void Submit() = 0;
    // The refresh button's queries (each form has its own order); the active tab is
    // refilled afterwards.
    virtual void SendRefreshQueries() = 0;
    // The default price from the texts of 卖一's and 买一's prices.
    virtual QString ChooseDefaultPrice(const QString& askText, const QString& bidText) const = 0;
    // Recomputes the amount of 1009 (max-buyable or available quantity); called whenever
    // the code, the price, the funds or the positions change.
    virtual void UpdateAmount() = 0;
    // The quantity that "全部" gives for the amount text of 1009.
    virtual QString FullQuantity(const QString& amountText) const = 0;
    // The positions panel asked to sell its selected row.
    virtual void OnPositionPicked() = 0;
    // How the cancel buttons ask, and what "撤单(&Q)" asks.
    virtual order_cancel::Confirm CancelConfirm() = 0;
    virtual QString CancelSelectedPrompt() const = 0;

    // Sets the code edit; a text equal to the current one still runs the code change.
    void SetCodeText(const QString& code);
    // Sends command 2 for the form's texts; "系统错误！" when it cannot be sent.
    bool SendOrder(const QString& code, const QString& price, const QString& quantity, const QString& name, int type);
    // Runs `action` unless another action of this form is still running (a modal question
    // spins an event loop in which a second click or key press would otherwise act again).
    template <typename Action>
    void RunOnce(Action action);
    void RefillActiveTab();

    CTEdit* m_code = nullptr;     // 1002
    QLabel* m_name = nullptr;     // 1005
    CTEdit* m_price = nullptr;    // 1007
    QLabel* m_amount = nullptr;   // 1009: max-buyable or available quantity
    CTEdit* m_quantity = nullptr; // 1011

    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void BuildForm(const FormTraits& traits);
    void OnCodeChanged();
    bool OnEditKey(QObject* watched, const QKeyEvent& key);
    // A price of the quote panel was clicked: it becomes the order price; a double-click
    // also sets the quantity to "全部".
    void OnQuotePriceClicked(int index, bool wholeQuantity);
    void OnPriceStep(int delta);
    void OnQuantityStep(int delta);
    void ApplyPreset(int divisor);
    void OnTabChanged(int index);
    void OnRefreshClicked();
    void OnCancelAll(int command);
    void OnCancelSelected();
    void SetQuoteText(int index, const QString& text);
    void UpdatePriceColour(int index);
    // Draws the panel grey while its quote is old, in its own colours otherwise.
    void ShowQuoteAge(bool stale);
    void PlaceTabs(int gap);

    // Copies the board's 今开, 最高, 最低 and 成交量 of `code` into the panel.
    void RefreshDayFigures(const std::string& code);

    static constexpr int kQuoteControls = 24; // 1014–1037
    static constexpr int kDayControls = 4;    // dayOpen, dayHigh, dayLow, dayVolume
    std::array<QLabel*, kDayControls> m_day{};
    std::chrono::steady_clock::time_point m_dayAskedAt;
    std::array<QLabel*, kQuoteControls> m_quote{};
    std::array<QColor, kQuoteControls> m_quoteColour{};
    QString m_prevCloseText;
    // When the code was last changed: a code the server has not quoted for a while after it
    // is one the server does not know.
    std::chrono::steady_clock::time_point m_codeChangedAt;
    bool m_quoteStale = false;
    CXPButton* m_refresh = nullptr; // 1038
    QTabWidget* m_tabs = nullptr;   // 22222
    CLcDlg* m_positionsPanel = nullptr;
    CTradeDlg* m_tradesPanel = nullptr;
    CWeituoDlg* m_ordersPanel = nullptr;
    QTimer* m_quoteTimer = nullptr;
    QTimer* m_positionTimer = nullptr;
    int m_quoteInterval;
    int m_positionInterval;
    int m_resizeTabGap;
    bool m_acting = false;
};

template <typename Action>
void COrderFormView::RunOnce(Action action) {
    if (m_acting)
        return;
    m_acting = true;
    const QPointer<COrderFormView> self(this);
    action();
    if (self)
        m_acting = false;
}
