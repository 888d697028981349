#pragma once

#include "trade/OrderFormView.h"

// The buy form ("买入[F1]"): the max-buyable follows the funds and the default price, the
// quantity must be whole lots, and the order goes out without a question.
class CBuyView final : public COrderFormView {
    Q_OBJECT
public:
    explicit CBuyView(ClientContext& context, QWidget* parent = nullptr);

    // value8 × (cash − frozen) / price / 10000, rounded, in lots of 100; 0 without a price.
    static long long MaxBuyable(double value8, double cashBalance, double frozenFunds, double price);

private:
    static FormTraits Traits();
    void Submit() override;
    void SendRefreshQueries() override;
    QString ChooseDefaultPrice(const QString& askText, const QString& bidText) const override;
    void OnDefaultPriceSet(const QString& priceText) override;
    QString FullQuantity(const QString& amountText) const override;
    void OnPositionPicked() override;
    order_cancel::Confirm CancelConfirm() override;
    QString CancelSelectedPrompt() const override;
};
