#pragma once

#include "trade/OrderFormView.h"

// The sell form ("卖出[F2]"): the available quantity comes from the positions panel, any
// positive quantity may be sold, and every order and cancel is confirmed first.
class CSellView final : public COrderFormView {
    Q_OBJECT
public:
    explicit CSellView(ClientContext& context, QWidget* parent = nullptr);

    // The confirmation before a sell: "确认要卖出<code> <quantity>股?" on the first line,
    // then code, name, price, quantity and amount, one per line.
    static QString SellQuestion(const QString& code, const QString& name, const QString& price,
                                const QString& quantity);

private:
    static FormTraits Traits();
    void Submit() override;
    void SendRefreshQueries() override;
    QString ChooseDefaultPrice(const QString& askText, const QString& bidText) const override;
    // The available quantity of the code's position (可用余额); empty without one.
    void UpdateAmount() override;
    QString FullQuantity(const QString& amountText) const override;
    void OnPositionPicked() override;
    order_cancel::Confirm CancelConfirm() override;
    QString CancelSelectedPrompt() const override;
};
