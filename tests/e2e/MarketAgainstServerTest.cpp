// The market's views against the real contest server: the quote board, the watchlist, the
// lookup, the chart and the order forms' day figures, driven through the client's main window.

#include "core/ClientContext.h"
#include "market/BoardModel.h"
#include "market/ChartView.h"
#include "market/CodeLookup.h"
#include "market/QuoteListView.h"
#include "net/SharedState.h"
#include "net/TradingLink.h"
#include "shell/GuiNotifier.h"
#include "shell/LeftView.h"
#include "shell/MainFrame.h"
#include "tests/e2e/GuiClient.h"
#include "tests/support/QuorvexdProcess.h"
#include "trade/BuyView.h"
#include "trade/SellView.h"
#include "wire/GbkText.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTest>
#include <QTreeWidget>

#include <fstream>
#include <memory>

using namespace std::chrono_literals;

using namespace e2e_gui;

namespace {

// Four securities with the shares traded (the optional last field); 600000 trades at 7.10,
// 7.25, 7.05 and 7.19 in the first four ticks, then the book holds still, so every figure of
// the board is known beforehand.
const char* const kBook =
    R"(# tick,code,name,last,prev close,5 bid prices,5 bid volumes,5 ask prices,5 ask volumes,volume
0,600000,浦发银行,7.10,7.12,7.18,7.17,7.16,7.15,7.14,900000,900000,900000,900000,900000,7.19,7.20,7.21,7.22,7.23,900000,900000,900000,900000,900000,100000
0,000001,平安银行,10.50,10.58,10.49,10.48,10.47,10.46,10.45,900000,900000,900000,900000,900000,10.50,10.51,10.52,10.53,10.54,900000,900000,900000,900000,900000,50000
0,300059,东方财富,15.30,15.24,15.29,15.28,15.27,15.26,15.25,900000,900000,900000,900000,900000,15.30,15.31,15.32,15.33,15.34,900000,900000,900000,900000,900000,300
0,688981,中芯国际,85.00,84.36,84.99,84.98,84.97,84.96,84.95,900000,900000,900000,900000,900000,85.00,85.01,85.02,85.03,85.04,900000,900000,900000,900000,900000,2000
1,600000,浦发银行,7.25,7.12,7.18,7.17,7.16,7.15,7.14,900000,900000,900000,900000,900000,7.19,7.20,7.21,7.22,7.23,900000,900000,900000,900000,900000,10000
2,600000,浦发银行,7.05,7.12,7.18,7.17,7.16,7.15,7.14,900000,900000,900000,900000,900000,7.19,7.20,7.21,7.22,7.23,900000,900000,900000,900000,900000,10000
3,600000,浦发银行,7.19,7.12,7.18,7.17,7.16,7.15,7.14,900000,900000,900000,900000,900000,7.19,7.20,7.21,7.22,7.23,900000,900000,900000,900000,900000,3400
)";

std::unique_ptr<tavix::test::QuorvexdProcess> StillServer() {
    const auto book =
        std::filesystem::temp_directory_path() / ("tavix-e2e-market-" + std::to_string(getpid()) + ".csv");
    std::ofstream(book) << kBook;
    return std::make_unique<tavix::test::QuorvexdProcess>(std::vector<std::string>{"--quotes-csv", book.string()});
}

QString Cell(CQuoteListView* view, int row, int column) {
    return view->Table()->model()->index(row, column).data().toString();
}

QStringList Column(CQuoteListView* view, int column) {
    QStringList texts;
    for (int r = 0; r < view->Table()->model()->rowCount(); ++r)
        texts << Cell(view, r, column);
    return texts;
}

// The code field of the form in the right pane; "<none>" when the pane holds no order form.
QString CodeField(const Client& c) {
    const auto* edit = c.frame->RightView()->findChild<QLineEdit*>(QStringLiteral("id1002"));
    return edit ? edit->text() : QStringLiteral("<none>");
}

QString IniPath() {
    return QString::fromStdString(
        (std::filesystem::temp_directory_path() / ("tavix-e2e-market-" + std::to_string(getpid()) + ".ini")).string());
}

} // namespace

class MarketAgainstServer final : public QObject {
    Q_OBJECT
private slots:
    void init() { std::filesystem::remove(IniPath().toStdString()); }

    void boardShowsEveryFigure() {
        auto server = StillServer();
        QVERIFY(server->Start());
        Client c(server->Port(), "demo", "demo123", IniPath().toStdString());
        QVERIFY(c.LogIn());
        auto* board = c.Show<CQuoteBoardView>(QStringLiteral("行情报价"));
        QVERIFY(board);
        QTRY_COMPARE_WITH_TIMEOUT(board->Table()->model()->rowCount(), 4, kWait);
        QTRY_COMPARE_WITH_TIMEOUT(Cell(board, 2, CBoardModel::kVolume), QStringLiteral("1234"), kWait);
        // In code order first: 600000 is the third row. 7.19 against 7.12: +0.07, +0.98 %;
        // opened at 7.10, 7.25 the highest, 7.05 the lowest; 100,000 + 10,000 + 10,000 + 3,400 =
        // 123,400 shares are 1,234 hands; 710,000 + 72,500 + 70,500 + 24,446 = 877,446 yuan.
        const QStringList expected = {QStringLiteral("600000"), QStringLiteral("浦发银行"), QStringLiteral("7.19"),
                                      QStringLiteral("0.07"),   QStringLiteral("0.98%"),    QStringLiteral("7.12"),
                                      QStringLiteral("7.10"),   QStringLiteral("7.25"),     QStringLiteral("7.05"),
                                      QStringLiteral("1234"),   QStringLiteral("87.74万")};
        for (int column = 0; column < CBoardModel::kCount; ++column)
            QCOMPARE(Cell(board, 2, column), expected[column]);
        // 10.50 against 10.58: -0.08, -0.76 %, drawn green; 600000 red.
        QCOMPARE(Cell(board, 0, CBoardModel::kChange), QStringLiteral("-0.08"));
        QCOMPARE(Cell(board, 0, CBoardModel::kChangePct), QStringLiteral("-0.76%"));
        const auto colour = [&](int row) {
            return board->Table()
                ->model()
                ->index(row, CBoardModel::kLast)
                .data(Qt::ForegroundRole)
                .value<QBrush>()
                .color();
        };
        QVERIFY(colour(0).green() > colour(0).red());
        QVERIFY(colour(2).red() > colour(2).green());

        // By the change, largest first: +0.98 %, +0.76 % (85.00/84.36), +0.39 % (15.30/15.24), -0.76 %.
        board->Table()->sortByColumn(CBoardModel::kChangePct, Qt::DescendingOrder);
        QCOMPARE(Column(board, CBoardModel::kCode), QStringList({QStringLiteral("600000"), QStringLiteral("688981"),
                                                                 QStringLiteral("300059"), QStringLiteral("000001")}));
        // Prices as numbers: 7.19 < 10.50 < 15.30 < 85.00 (as text 10.50 would come first).
        board->Table()->sortByColumn(CBoardModel::kLast, Qt::AscendingOrder);
        QCOMPARE(Column(board, CBoardModel::kLast), QStringList({QStringLiteral("7.19"), QStringLiteral("10.50"),
                                                                 QStringLiteral("15.30"), QStringLiteral("85.00")}));

        // The buy form's panel shows the same day.
        auto* buy = c.Show<CBuyView>(QStringLiteral("买入[F1]"));
        QVERIFY(buy);
        buy->findChild<QLineEdit*>(QStringLiteral("id1002"))->setText(QStringLiteral("600000"));
        QTRY_COMPARE_WITH_TIMEOUT(buy->findChild<QLabel*>(QStringLiteral("dayVolume"))->text(),
                                  QStringLiteral("1234手"), kWait);
        QCOMPARE(buy->findChild<QLabel*>(QStringLiteral("dayOpen"))->text(), QStringLiteral("7.10"));
        QCOMPARE(buy->findChild<QLabel*>(QStringLiteral("dayHigh"))->text(), QStringLiteral("7.25"));
        QCOMPARE(buy->findChild<QLabel*>(QStringLiteral("dayLow"))->text(), QStringLiteral("7.05"));
    }

    void boardKeepsOrderAndSelectionAcrossRefreshes() {
        tavix::test::QuorvexdProcess server; // the built-in market, moving every 100 ms
        QVERIFY(server.Start());
        Client c(server.Port(), "demo", "demo123", IniPath().toStdString());
        QVERIFY(c.LogIn());
        auto* board = c.Show<CQuoteBoardView>(QStringLiteral("行情报价"));
        QTRY_VERIFY_WITH_TIMEOUT(board->Table()->model()->rowCount() > 10, kWait);
        board->Table()->sortByColumn(CBoardModel::kLast, Qt::DescendingOrder);
        const QModelIndex third = board->Table()->model()->index(2, 0);
        board->Table()->setCurrentIndex(third);
        const QString chosen = board->SelectedCode();
        QCOMPARE(chosen, third.data().toString());
        const QStringList before = Column(board, CBoardModel::kLast);
        // Some price moves and reaches the list.
        QTRY_VERIFY_WITH_TIMEOUT(Column(board, CBoardModel::kLast) != before, kWait);
        QCOMPARE(board->SelectedCode(), chosen);
        const QStringList after = Column(board, CBoardModel::kLast);
        for (int i = 1; i < after.size(); ++i)
            QVERIFY2(after[i - 1].toDouble() >= after[i].toDouble(), qPrintable(after.join(u' ')));

        // Enter opens the chart of the selection; F1 and F2 the forms with its code.
        board->Table()->setFocus();
        QTest::keyClick(board->Table(), Qt::Key_Return);
        auto* chart = qobject_cast<CChartView*>(c.frame->RightView());
        QVERIFY(chart);
        QCOMPARE(chart->Code(), chosen);
        for (const auto& [key, label] : {std::pair{Qt::Key_F1, "买入[F1]"}, std::pair{Qt::Key_F2, "卖出[F2]"}}) {
            board = c.Show<CQuoteBoardView>(QStringLiteral("行情报价"));
            QTRY_VERIFY_WITH_TIMEOUT(board->SelectCode(chosen), kWait);
            board->Table()->setFocus();
            QTest::keyClick(board->Table(), key);
            QCOMPARE(c.frame->CurrentViewLabel(), QString::fromUtf8(label));
            QCOMPARE(CodeField(c), chosen);
        }
    }

    void watchlistIsKeptPerUser() {
        auto server = StillServer();
        QVERIFY(server->Start());
        server->Admin({"add-user", "li4", "demo123"});
        {
            Client c(server->Port(), "demo", "demo123", IniPath().toStdString());
            QVERIFY(c.LogIn());
            auto* board = c.Show<CQuoteBoardView>(QStringLiteral("行情报价"));
            QTRY_VERIFY_WITH_TIMEOUT(board->SelectCode(QStringLiteral("300059")), kWait);
            QTest::keyClick(board->Table(), Qt::Key_Insert);
            QTRY_VERIFY_WITH_TIMEOUT(board->SelectCode(QStringLiteral("000001")), kWait);
            QTest::keyClick(board->Table(), Qt::Key_Insert);
            QTest::keyClick(board->Table(), Qt::Key_Insert); // listed once
            auto* watch = c.Show<CWatchlistView>(QStringLiteral("自选股"));
            QTRY_COMPARE_WITH_TIMEOUT(Column(watch, CBoardModel::kCode),
                                      QStringList({QStringLiteral("000001"), QStringLiteral("300059")}), kWait);
        }
        {
            // After a restart: the list is back, in the order added; Delete removes one.
            Client c(server->Port(), "demo", "demo123", IniPath().toStdString());
            QVERIFY(c.LogIn());
            auto* watch = c.Show<CWatchlistView>(QStringLiteral("自选股"));
            QTRY_COMPARE_WITH_TIMEOUT(watch->Table()->model()->rowCount(), 2, kWait);
            watch->Table()->sortByColumn(CBoardModel::kCode, Qt::DescendingOrder);
            QVERIFY(watch->SelectCode(QStringLiteral("300059")));
            QTest::keyClick(watch->Table(), Qt::Key_Delete);
            QCOMPARE(Column(watch, CBoardModel::kCode), QStringList({QStringLiteral("000001")}));
        }
        {
            Client other(server->Port(), "li4", "demo123", IniPath().toStdString());
            QVERIFY(other.LogIn());
            auto* watch = other.Show<CWatchlistView>(QStringLiteral("自选股"));
            QTRY_VERIFY_WITH_TIMEOUT(!other.state.market.Board().empty(), kWait);
            QTest::qWait(1200);
            QCOMPARE(watch->Table()->model()->rowCount(), 0);
        }
        Client again(server->Port(), "demo", "demo123", IniPath().toStdString());
        QVERIFY(again.LogIn());
        auto* watch = again.Show<CWatchlistView>(QStringLiteral("自选股"));
        QTRY_COMPARE_WITH_TIMEOUT(Column(watch, CBoardModel::kCode), QStringList({QStringLiteral("000001")}), kWait);
    }

    void lookupFindsByInitialsAndFillsTheForm() {
        auto server = StillServer();
        QVERIFY(server->Start());
        Client c(server->Port(), "demo", "demo123", IniPath().toStdString());
        QVERIFY(c.LogIn());
        QTRY_VERIFY_WITH_TIMEOUT(c.link.QueryBoard() || !c.state.market.Board().empty(), kWait);
        QTRY_COMPARE_WITH_TIMEOUT(c.state.market.Board().size(), std::size_t{4}, kWait);
        c.frame->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(c.frame.get()));
        QTreeWidget* tree = c.frame->LeftView()->Tree();
        tree->setFocus();
        // The first key opens the lookup, which takes the keys that follow.
        QTest::keyClick(tree, Qt::Key_P);
        CCodeLookup* lookup = c.frame->Lookup();
        QTRY_VERIFY(lookup->isVisible());
        QCOMPARE(lookup->Edit()->text(), QStringLiteral("p"));
        QTest::keyClicks(lookup->Edit(), QStringLiteral("fyh"));
        QCOMPARE(lookup->Edit()->text(), QStringLiteral("pfyh"));
        QCOMPARE(lookup->List()->count(), 1);
        QVERIFY(lookup->List()->item(0)->text().startsWith(QStringLiteral("600000  浦发银行")));
        QTest::keyClick(lookup->Edit(), Qt::Key_Return);
        QTRY_VERIFY(!lookup->isVisible());
        auto* chart = qobject_cast<CChartView*>(c.frame->RightView());
        QVERIFY(chart);
        QCOMPARE(chart->Code(), QStringLiteral("600000"));

        // With a buy form open the pick fills its code; a code prefix finds by code.
        c.Show<CBuyView>(QStringLiteral("买入[F1]"));
        tree->setFocus();
        QTest::keyClick(tree, Qt::Key_3);
        QTRY_VERIFY(lookup->isVisible());
        QTest::keyClick(lookup->Edit(), Qt::Key_0);
        QCOMPARE(lookup->List()->count(), 1);
        QTest::keyClick(lookup->Edit(), Qt::Key_Down); // one match: stays on it
        QTest::keyClick(lookup->Edit(), Qt::Key_Return);
        QCOMPARE(CodeField(c), QStringLiteral("300059"));
        // Escape closes without a pick; typing into an edit stays in the edit.
        tree->setFocus();
        QTest::keyClick(tree, Qt::Key_0);
        QTRY_VERIFY(lookup->isVisible());
        QTest::keyClick(lookup->Edit(), Qt::Key_Escape);
        QTRY_VERIFY(!lookup->isVisible());
        QCOMPARE(CodeField(c), QStringLiteral("300059"));
        auto* price = c.frame->RightView()->findChild<QLineEdit*>(QStringLiteral("id1007"));
        price->setFocus();
        QTest::keyClicks(price, QStringLiteral("7"));
        QVERIFY(!lookup->isVisible());
    }

    void chartFollowsTheMinutes() {
        tavix::test::QuorvexdProcess server;
        QVERIFY(server.Start());
        Client c(server.Port(), "demo", "demo123", IniPath().toStdString());
        QVERIFY(c.LogIn());
        c.frame->OpenChart(QStringLiteral("600000"));
        auto* chart = qobject_cast<CChartView*>(c.frame->RightView());
        QVERIFY(chart);
        QVERIFY(!chart->Daily());
        QTRY_VERIFY_WITH_TIMEOUT(!chart->ShownBars().empty(), kWait);
        const net::BarRecord newest = chart->ShownBars().back();
        QCOMPARE(QString::fromStdString(newest.code), QStringLiteral("600000"));
        // The keys move the crosshair and name the bar's figures.
        QTest::keyClick(chart, Qt::Key_End);
        QCOMPARE(chart->CrosshairIndex(), int(chart->ShownBars().size()) - 1);
        const net::BarRecord& shown = chart->ShownBars()[static_cast<std::size_t>(chart->CrosshairIndex())];
        QVERIFY2(chart->Figures()->text().contains(QString::asprintf("收 %lld.%02lld",
                                                                     static_cast<long long>(shown.close / 100),
                                                                     static_cast<long long>(shown.close % 100))),
                 qPrintable(chart->Figures()->text()));
        QTest::keyClick(chart, Qt::Key_Home);
        QCOMPARE(chart->CrosshairIndex(), 0);
        QTest::keyClick(chart, Qt::Key_Left); // stays on the first bar
        QCOMPARE(chart->CrosshairIndex(), 0);
        QTest::keyClick(chart, Qt::Key_Escape);
        QCOMPARE(chart->CrosshairIndex(), -1);
        // Without a crosshair the arrows start at the newest bar.
        QTest::keyClick(chart, Qt::Key_Left);
        QCOMPARE(chart->CrosshairIndex(), int(chart->ShownBars().size()) - 1);
        // F8: daily bars; a new contest has none yet.
        QTest::keyClick(chart, Qt::Key_F8);
        QVERIFY(chart->Daily());
        QTRY_COMPARE_WITH_TIMEOUT(chart->Figures()->text(), QStringLiteral("暂无日线"), kWait);
        QTest::keyClick(chart, Qt::Key_F8);
        QVERIFY(!chart->Daily());
        QTRY_VERIFY_WITH_TIMEOUT(!chart->ShownBars().empty(), kWait);
        QVERIFY(chart->Notice()->text().isEmpty());
    }
};

QTEST_MAIN(MarketAgainstServer)
#include "MarketAgainstServerTest.moc"
