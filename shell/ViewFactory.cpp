#include "shell/ViewFactory.h"

#include "account/HisJgdView.h"
#include "account/HisMoneyView.h"
#include "account/HisTradeView.h"
#include "account/HisWeituoView.h"
#include "account/MoneyStockView.h"
#include "account/StandingView.h"
#include "account/TodayTradeView.h"
#include "account/TodayWeituoView.h"
#include "core/TFormView.h"
#include "market/ChartView.h"
#include "market/QuoteListView.h"
#include "shell/PwdView.h"
#include "trade/BuyView.h"
#include "trade/CancelView.h"
#include "trade/SellView.h"

namespace {

template <typename View>
CTFormView* MakeView(ClientContext& context, QWidget* parent) {
    return new View(context, parent); // owned by the pane that shows it
}

} // namespace

const std::vector<FunctionEntry>& FunctionViews() {
    // One line per function view: the tree's label, the view's class, its maker.
    static const std::vector<FunctionEntry> kViews = {
        {QStringLiteral("买入[F1]"), &CBuyView::staticMetaObject, &MakeView<CBuyView>},
        {QStringLiteral("卖出[F2]"), &CSellView::staticMetaObject, &MakeView<CSellView>},
        {QStringLiteral("撤单[F3]"), &CCancelView::staticMetaObject, &MakeView<CCancelView>},
        {QStringLiteral("资金股票"), &CMoneyStockView::staticMetaObject, &MakeView<CMoneyStockView>},
        {QStringLiteral("当日委托"), &CTodayWeituoView::staticMetaObject, &MakeView<CTodayWeituoView>},
        {QStringLiteral("当日成交"), &CTodayTradeView::staticMetaObject, &MakeView<CTodayTradeView>},
        {QStringLiteral("历史委托"), &CHisWeituoView::staticMetaObject, &MakeView<CHisWeituoView>},
        {QStringLiteral("历史成交"), &CHisTradeView::staticMetaObject, &MakeView<CHisTradeView>},
        {QStringLiteral("资金明细"), &CHisMoneyView::staticMetaObject, &MakeView<CHisMoneyView>},
        {QStringLiteral("交 割 单"), &CHisJgdView::staticMetaObject, &MakeView<CHisJgdView>},
        {QStringLiteral("大赛排名[F6]"), &CStandingView::staticMetaObject, &MakeView<CStandingView>},
        {QStringLiteral("修改密码"), &CPwdView::staticMetaObject, &MakeView<CPwdView>},
        {QStringLiteral("行情报价"), &CQuoteBoardView::staticMetaObject, &MakeView<CQuoteBoardView>},
        {QStringLiteral("自选股"), &CWatchlistView::staticMetaObject, &MakeView<CWatchlistView>},
        {QStringLiteral("走势图"), &CChartView::staticMetaObject, &MakeView<CChartView>},
    };
    return kViews;
}

const FunctionEntry* FindFunction(const QString& label) {
    for (const FunctionEntry& entry : FunctionViews()) {
        if (entry.label == label)
            return &entry;
    }
    return nullptr;
}
