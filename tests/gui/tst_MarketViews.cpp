// The market views' own rules (lookup matching, the day's axis, moving averages, the kept
// watchlist) and how they meet a server: paging through the board, and an older server that
// never answers the market's requests.

#include "account/ListCtrlCl.h"
#include "core/Gbk.h"
#include "market/BoardModel.h"
#include "market/ChartView.h"
#include "market/CodeLookup.h"
#include "market/QuoteListView.h"
#include "market/Watchlist.h"
#include "shell/MainFrame.h"
#include "tests/support/GuiTestClient.h"
#include "tests/support/RecordingNotifier.h"

#include <QAction>
#include <QLabel>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <vector>

using Client = tavix::test::GuiTestClient<tavix::test::RecordingNotifier>;
using namespace std::chrono_literals;

namespace {

net::BoardRecord Security(const char* code, const QString& name, const char* initials) {
    net::BoardRecord r;
    r.code = code;
    r.name = ToGbk(name);
    r.initials = initials;
    return r;
}

std::vector<net::BoardRecord> Board() {
    return {
        Security("000001", QStringLiteral("平安银行"), "PAYH"), Security("300059", QStringLiteral("东方财富"), "DFCF"),
        Security("600000", QStringLiteral("浦发银行"), "PFYH"), Security("600519", QStringLiteral("贵州茅台"), "GZMT"),
        Security("601006", QStringLiteral("大秦铁路"), "DQTL")};
}

} // namespace

class TestMarketViews final : public QObject {
    Q_OBJECT
private slots:
    void matchSecurities_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("codes");
        QTest::newRow("code prefix") << QStringLiteral("60")
                                     << QStringList{QStringLiteral("600000"), QStringLiteral("600519"),
                                                    QStringLiteral("601006")};
        QTest::newRow("initials, lower case") << QStringLiteral("pfyh") << QStringList{QStringLiteral("600000")};
        QTest::newRow("initials prefix") << QStringLiteral("D")
                                         << QStringList{QStringLiteral("300059"), QStringLiteral("601006")};
        QTest::newRow("name") << QStringLiteral("银行")
                              << QStringList{QStringLiteral("000001"), QStringLiteral("600000")};
        QTest::newRow("name part") << QStringLiteral("茅") << QStringList{QStringLiteral("600519")};
        QTest::newRow("nothing") << QStringLiteral("9") << QStringList{};
        QTest::newRow("blank") << QStringLiteral("  ") << QStringList{};
    }
    void matchSecurities() {
        QFETCH(QString, typed);
        QFETCH(QStringList, codes);
        QStringList found;
        for (const net::BoardRecord& r : MatchSecurities(Board(), typed))
            found << QString::fromStdString(r.code);
        QCOMPARE(found, codes);
    }

    void codeMatchesComeFirstAndTheListIsShort() {
        // "6" is the start of three codes; no name or initials: order by kind, then by code.
        std::vector<net::BoardRecord> board = Board();
        board.push_back(Security("000002", QStringLiteral("六六"), "LL"));
        QCOMPARE(MatchSecurities(board, QStringLiteral("6")).size(), std::size_t{3});
        QCOMPARE(MatchSecurities(board, QStringLiteral("6"), 2).size(), std::size_t{2});
        // "L" finds the initials LL before a name that holds no L.
        QCOMPARE(MatchSecurities(board, QStringLiteral("l")).front().code, std::string("000002"));
    }

    void minuteSlots_data() {
        QTest::addColumn<int>("hhmm");
        QTest::addColumn<int>("slot");
        QTest::newRow("open") << 930 << 0;
        QTest::newRow("morning's last") << 1129 << 119;
        QTest::newRow("lunch") << 1130 << -1;
        QTest::newRow("noon") << 1200 << -1;
        QTest::newRow("afternoon") << 1300 << 120;
        QTest::newRow("day's last") << 1459 << 239;
        QTest::newRow("closing match") << 1500 << 239;
        QTest::newRow("opening call") << 925 << -1;
        QTest::newRow("after") << 1501 << -1;
    }
    void minuteSlots() {
        QFETCH(int, hhmm);
        QFETCH(int, slot);
        QCOMPARE(CChartView::MinuteSlot(hhmm), slot);
    }

    void movingAverages() {
        std::vector<net::BarRecord> bars;
        for (int close : {100, 200, 300, 400, 500, 900}) {
            net::BarRecord b;
            b.close = close;
            bars.push_back(b);
        }
        // (100+…+500)/5 = 300, (200+300+400+500+900)/5 = 460.
        QCOMPARE(CChartView::MovingAverage(bars, 5), (std::vector<double>{0, 0, 0, 0, 300, 460}));
        QCOMPARE(CChartView::MovingAverage(bars, 10), std::vector<double>(6, 0.0));
    }

    void amountsInTenThousandsAndHundredMillions_data() {
        QTest::addColumn<qlonglong>("cents");
        QTest::addColumn<QString>("text");
        QTest::newRow("yuan") << 999999LL << QStringLiteral("9999.99");
        QTest::newRow("ten thousand") << 1000000LL << QStringLiteral("1.00万");
        QTest::newRow("wan") << 88724600LL << QStringLiteral("88.72万");
        QTest::newRow("just below yi") << 9999990000LL << QStringLiteral("9999.99万");
        QTest::newRow("yi") << 236667617400LL << QStringLiteral("23.67亿");
    }
    void amountsInTenThousandsAndHundredMillions() {
        QFETCH(qlonglong, cents);
        QFETCH(QString, text);
        QCOMPARE(CBoardModel::AmountText(cents), text);
    }

    void watchlistSurvivesLongAndShorterLists() {
        QTemporaryDir dir;
        const std::string ini = dir.filePath(QStringLiteral("client.ini")).toStdString();
        std::vector<std::string> codes;
        for (int i = 0; i < 30; ++i)
            codes.push_back(QString::asprintf("%06d", 600000 + i).toStdString());
        QVERIFY(watchlist::Save(ini, "zhang3", codes));
        QCOMPARE(watchlist::Load(ini, "zhang3"), codes);
        // A shorter list leaves nothing of the longer one behind.
        QVERIFY(watchlist::Save(ini, "zhang3", {"000001", "300059"}));
        QCOMPARE(watchlist::Load(ini, "zhang3"), (std::vector<std::string>{"000001", "300059"}));
        QVERIFY(watchlist::Load(ini, "li4").empty());
        QVERIFY(watchlist::Add(ini, "li4", "600000"));
        QVERIFY(!watchlist::Add(ini, "li4", "600000"));
        QVERIFY(!watchlist::Remove(ini, "li4", "000001"));
        QVERIFY(watchlist::Remove(ini, "zhang3", "000001"));
        QCOMPARE(watchlist::Load(ini, "zhang3"), (std::vector<std::string>{"300059"}));
        QCOMPARE(watchlist::Load(ini, "li4"), (std::vector<std::string>{"600000"}));
    }

    void boardIsReadPageByPage() {
        Client c({.connect = true});
        // Two, then one, then none: each page starts after the last record received.
        c.server.SetAutoReply(net::kCmdQuoteBoard, [](const net::Frame& f) -> std::string {
            if (f.body.starts_with("start=0&"))
                return "000001,A,A,1.00,1.10,1.00,1.10,1.00,100,110.00|000002,B,B,2.00,1.90,2.00,2.00,1.90,200,380.00|";
            if (f.body.starts_with("start=2&"))
                return "600000,C,C,3.00,3.00,0.00,0.00,0.00,0,0.00|";
            return "";
        });
        CQuoteBoardView view(c.context);
        view.resize(1200, 600);
        view.OnInitialUpdate();
        QTRY_COMPARE(view.Table()->model()->rowCount(), 3);
        QCOMPARE(*c.NextQuery(net::kCmdQuoteBoard), std::string("start=0&count=400"));
        QCOMPARE(*c.NextQuery(net::kCmdQuoteBoard), std::string("start=2&count=400"));
        QCOMPARE(*c.NextQuery(net::kCmdQuoteBoard), std::string("start=3&count=400"));
        QVERIFY(!view.Notice()->isVisible());
        // Not traded today: no price of its own, no change.
        QCOMPARE(view.Table()->model()->index(2, CBoardModel::kLast).data().toString(), QStringLiteral("3.00"));
        QCOMPARE(view.Table()->model()->index(2, CBoardModel::kOpen).data().toString(), QStringLiteral("--"));
    }

    void chartKeysMoveTheCrosshair() {
        Client c({.connect = true});
        c.server.SetAutoReply(net::kCmdBars, [](const net::Frame& f) -> std::string {
            if (f.body.find("period=1") == std::string::npos)
                return "";
            return "600000,1,0930,7.10,7.20,7.05,7.15,12000|600000,1,0931,7.15,7.16,7.12,7.12,300|"
                   "600000,1,1300,7.12,7.30,7.11,7.28,4500|";
        });
        CChartView chart(c.context);
        chart.resize(1000, 600);
        chart.show();
        chart.OnInitialUpdate();
        chart.SetCode(QStringLiteral("600000"));
        QTRY_COMPARE(chart.ShownBars().size(), std::size_t{3});
        QCOMPARE(chart.CrosshairIndex(), -1);
        // Without a crosshair the arrows start at the newest bar.
        QTest::keyClick(&chart, Qt::Key_Left);
        QCOMPARE(chart.CrosshairIndex(), 2);
        QCOMPARE(chart.Figures()->text(), QStringLiteral("13:00  开 7.12  高 7.30  低 7.11  收 7.28  量 45手"));
        QTest::keyClick(&chart, Qt::Key_Left);
        QCOMPARE(chart.CrosshairIndex(), 1);
        QTest::keyClick(&chart, Qt::Key_Escape);
        QCOMPARE(chart.CrosshairIndex(), -1);
        QTest::keyClick(&chart, Qt::Key_Right);
        QCOMPARE(chart.CrosshairIndex(), 2);
        QTest::keyClick(&chart, Qt::Key_Right); // stays on the newest
        QCOMPARE(chart.CrosshairIndex(), 2);
        QTest::keyClick(&chart, Qt::Key_Home);
        QCOMPARE(chart.CrosshairIndex(), 0);
        QVERIFY(
            chart.Figures()->text().startsWith(QStringLiteral("09:30  开 7.10  高 7.20  低 7.05  收 7.15  量 120手")));
        // F8 asks for the daily bars: the last 120 and 20 more for the averages.
        QTest::keyClick(&chart, Qt::Key_F8);
        QVERIFY(chart.Daily());
        QCOMPARE(*c.NextQuery(net::kCmdBars), std::string("code=600000&period=1&count=1024"));
        std::optional<std::string> daily;
        for (int i = 0; i < 5 && daily != "code=600000&period=d&count=140"; ++i)
            daily = c.NextQuery(net::kCmdBars);
        QCOMPARE(daily.value_or("none"), std::string("code=600000&period=d&count=140"));
    }

    void listsWithCodesOfferTheWatchlist() {
        QTemporaryDir dir;
        Client c({.connect = true, .user = "zhang3"});
        c.context.iniPath = dir.filePath(QStringLiteral("client.ini")).toStdString();
        c.FillPositions("600000,PF,1000,1000,0,0.00,10.00,0.00,10.00,10000.00|000001,PA,500,500,0,0.00,8.00,0.00,8.00,"
                        "4000.00|");
        CMainFrame frame(c.context);
        frame.resize(1200, 700);
        // The first view of the window, filled from the positions at once.
        frame.ShowFunction(QStringLiteral("资金股票"));
        CListCtrlCl* list = nullptr;
        QTRY_VERIFY((list = frame.RightView()->findChild<CListCtrlCl*>()) && list->GetItemCount() == 2);
        QAction* add = list->findChild<QAction*>(QStringLiteral("addToWatchlist"));
        QVERIFY(add);
        QVERIFY(list->actions().contains(add)); // shown in the list's context menu
        const int row = list->GetItemText(0, 0) == QStringLiteral("000001") ? 0 : 1;
        list->setCurrentCell(row, 0);
        add->trigger();
        QCOMPARE(watchlist::Load(c.context.iniPath, "zhang3"), (std::vector<std::string>{"000001"}));
    }

    void olderServerIsTold() {
        // The fake server, like an older one, answers neither command 20 nor 22.
        Client c({.connect = true});
        CQuoteBoardView board(c.context);
        board.OnInitialUpdate();
        board.show();
        QCOMPARE(*c.NextQuery(net::kCmdQuoteBoard), std::string("start=0&count=400"));
        QTRY_VERIFY_WITH_TIMEOUT(board.Notice()->isVisible(), 6000);
        QCOMPARE(board.Notice()->text(), QStringLiteral("行情服务不可用"));
        // One request waits; the board does not pile up more behind it.
        QCOMPARE(c.CountBeforeMarker(net::kCmdQuoteBoard), 1);

        CChartView chart(c.context);
        chart.OnInitialUpdate();
        chart.SetCode(QStringLiteral("600000"));
        QCOMPARE(*c.NextQuery(net::kCmdBars), std::string("code=600000&period=1&count=1024"));
        QTRY_COMPARE_WITH_TIMEOUT(chart.Notice()->text(), QStringLiteral("行情服务不可用"), 6000);
    }
};

QTEST_MAIN(TestMarketViews)
#include "tst_MarketViews.moc"
