// Writes pictures of the order-entry windows with a live quote and open orders (no display
// needed: run with QT_QPA_PLATFORM=offscreen). Usage: trade_screens <output folder>.

#include "TradeFixture.h"

#include "account/LcDlg.h"
#include "trade/BuyView.h"
#include "trade/CancelView.h"
#include "trade/SellView.h"

#include <QApplication>
#include <QDir>
#include <QFont>
#include <QLineEdit>
#include <QTabWidget>

#include <cstdio>

namespace {

bool Save(QWidget& view, const QString& path) {
    view.show();
    QApplication::processEvents();
    const bool ok = view.grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "could not write", qPrintable(path));
    return ok;
}

template <typename View>
bool GrabForm(TradeFixture& fixture, const QString& code, const QString& path, int tab) {
    View view(fixture.context);
    view.resize(1100, 760);
    view.OnInitialUpdate();
    view.OnPositionsStored();
    view.template findChild<QLineEdit*>(QStringLiteral("id1002"))->setText(code);
    view.RefreshQuotePanel();
    view.OnTodayTradesStored();
    view.OnTodayOrdersStored();
    view.Tabs()->setCurrentIndex(tab);
    view.PositionsPanel()->RevaluePositions();
    return Save(view, path);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setFont(QFont(QStringLiteral("WenQuanYi Micro Hei"), 9));
    const QDir out(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("."));
    TradeFixture fixture;
    fixture.FillAccount();
    bool ok = GrabForm<CBuyView>(fixture, QStringLiteral("600000"), out.filePath(QStringLiteral("trade_buy.png")), 0);
    ok =
        GrabForm<CSellView>(fixture, QStringLiteral("000001"), out.filePath(QStringLiteral("trade_sell.png")), 2) && ok;
    CCancelView cancel(fixture.context);
    cancel.resize(1000, 500);
    cancel.OnInitialUpdate();
    ok = Save(cancel, out.filePath(QStringLiteral("trade_cancel.png"))) && ok;
    return ok ? 0 : 1;
}
