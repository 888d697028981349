#pragma once

#include "trade/OrderFormView.h"

// The buy form ("买入[F1]"): the max-buyable follows the funds and the default price, the
// quantity must be whole lots, and the order goes out without a question.
class CBuyView final : public COrderFormView {
    Q_OBJECT
public:
    explicit CBuyView(ClientContext& context, QWidget* parent = nullptr);

private:
    static FormTraits Traits();
    void Submit() override;
    void SendRefreshQueries() override;
    QString ChooseDefaultPrice(const QString& askText, const QString& bidText) const override;
    // The max-buyable at the price of the form from the available funds.
    void UpdateAmount() override;
    QString FullQuantity(const QString& amountText) const override;
    void OnPositionPicked() override;
    order_cancel::Confirm CancelConfirm() override;
    QString CancelSelectedPrompt() const override;
};
