#include "shell/ViewFactory.h"

#include "account/MoneyStockView.h"
#include "controls/TFormView.h"

namespace {

template <typename View>
CTFormView* MakeView(ClientContext& context, QWidget* parent) {
    return new View(context, parent); // owned by the pane that shows it
}

} // namespace

const std::vector<FunctionEntry>& FunctionViews() {
    // One line per function view: the tree's label, the view's class, its maker.
    static const std::vector<FunctionEntry> kViews = {
        {QStringLiteral("资金股票"), &CMoneyStockView::staticMetaObject, &MakeView<CMoneyStockView>},
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
