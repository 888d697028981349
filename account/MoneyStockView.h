#pragma once

#include "core/TFormView.h"

#include <QBasicTimer>

class CListCtrlCl;
class CTStatic;
class QPushButton;

// The funds and positions view ("资金股票"): the account's funds figures above a coloured
// list of the positions, which is revalued every 500 ms from the latest quotes together
// with the stock value and the total assets. Double-clicking a position opens the sell form.
class CMoneyStockView final : public CTFormView {
    Q_OBJECT
public:
    explicit CMoneyStockView(ClientContext& context, QWidget* parent = nullptr);
    ~CMoneyStockView() override;

    void OnInitialUpdate() override;
    void OnHistoryTableStored() override; // asks for positions and funds, then refills
    void OnPositionsStored() override;
    void OnFundsStored() override;

    void FillPositionList();
    void FillFundsFigures();
    // One revaluation pass with the totals (the timer runs it every 500 ms).
    void RevaluePositions();

    CListCtrlCl* List() const { return m_list; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    CTStatic* AddFigure(int labelId, const QString& label, int valueId, int row, int column);
    void ShowMarginFigures(double netAssets, const QString& firstLine, const QString& secondLine);
    void PlaceList();
    void OnRowDoubleClicked();

    CListCtrlCl* m_list = nullptr;
    QPushButton* m_anchor = nullptr; // hidden; the list starts 10 px below it
    CTStatic* m_cashBalance = nullptr;
    CTStatic* m_frozenFunds = nullptr;
    CTStatic* m_availableFunds = nullptr;
    CTStatic* m_withdrawable = nullptr;
    CTStatic* m_stockValue = nullptr;
    CTStatic* m_totalAssets = nullptr;
    CTStatic* m_marginFunds = nullptr; // hidden; still read by the revaluation
    // Shown only for a margin account: the net assets and the two margin lines.
    CTStatic* m_netAssetsLabel = nullptr;
    CTStatic* m_netAssets = nullptr;
    CTStatic* m_marginLinesLabel = nullptr;
    CTStatic* m_marginLines = nullptr;
    QBasicTimer m_revalue;
};
