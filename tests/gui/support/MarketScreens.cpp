// Writes pictures of the market's views for a visual check (not a test), against a loopback
// server that answers the board and the bars with a made-up day: market_screens <folder>.
// Run it under a display (xvfb-run) and with QT_SCALE_FACTOR=2 for the large-print check.
#include "market/ChartView.h"
#include "market/CodeLookup.h"
#include "market/QuoteListView.h"
#include "market/Watchlist.h"
#include "wire/MarketRecords.h"
#include "core/Gbk.h"
#include "shell/MainFrame.h"
#include "tests/support/GuiTestClient.h"
#include "tests/support/RecordingNotifier.h"

#include <QApplication>
#include <QDir>
#include <QFont>
#include <QLineEdit>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

#include <cmath>
#include <random>

namespace {

struct Security {
    const char* code;
    const char16_t* name;
    const char* initials;
    int prevClose; // cents
};

constexpr Security kSecurities[] = {
    {"000001", u"平安银行", "PAYH", 1058}, {"000002", u"万科A", "WKA", 752},    {"000858", u"五粮液", "WLY", 14120},
    {"002594", u"比亚迪", "BYD", 24580},   {"300059", u"东方财富", "DFCF", 1524}, {"300750", u"宁德时代", "NDSD", 19845},
    {"600000", u"浦发银行", "PFYH", 712},  {"600036", u"招商银行", "ZSYH", 3312}, {"600519", u"贵州茅台", "GZMT", 168800},
    {"601318", u"中国平安", "ZGPA", 4521}, {"601398", u"工商银行", "GSYH", 512},  {"688981", u"中芯国际", "ZXGJ", 8436},
};

// A walk around the previous close, the same on every run for a code.
std::vector<net::BarRecord> Walk(const Security& s, net::BarPeriod period, int count) {
    std::mt19937 random(static_cast<unsigned>(std::atoi(s.code)) + (period == net::BarPeriod::kDay ? 7u : 0u));
    std::normal_distribution<double> step(0.0, period == net::BarPeriod::kDay ? 0.02 : 0.0015);
    std::uniform_int_distribution<int> volume(200, 9000);
    std::vector<net::BarRecord> bars;
    double price = s.prevClose;
    for (int i = 0; i < count; ++i) {
        net::BarRecord b;
        b.code = s.code;
        b.period = period;
        if (period == net::BarPeriod::kMinute) {
            const int minute = i < 120 ? 9 * 60 + 30 + i : 13 * 60 + (i - 120);
            b.time = minute / 60 * 100 + minute % 60;
        } else {
            b.time = 20260000 + (1 + i / 20) * 100 + 1 + i % 20; // 20 trading days a month
        }
        b.open = std::llround(price);
        price = std::clamp(price * (1 + step(random)), s.prevClose * 0.905, s.prevClose * 1.095);
        if (period == net::BarPeriod::kDay)
            price = std::max(price, s.prevClose * 0.5);
        b.close = std::llround(price);
        b.high = std::max(b.open, b.close) + std::llround(std::abs(step(random)) * price / 2);
        b.low = std::min(b.open, b.close) - std::llround(std::abs(step(random)) * price / 2);
        b.volume = volume(random) * 100;
        bars.push_back(b);
    }
    return bars;
}

std::string BoardText() {
    std::string out;
    for (const Security& s : kSecurities) {
        const auto day = Walk(s, net::BarPeriod::kMinute, 240);
        net::BoardRecord r;
        r.code = s.code;
        r.name = ToGbk(QString::fromUtf16(s.name));
        r.initials = s.initials;
        r.prevClose = s.prevClose;
        r.open = day.front().open;
        r.last = day.back().close;
        r.high = r.low = r.open;
        for (const net::BarRecord& b : day) {
            r.high = std::max(r.high, b.high);
            r.low = std::min(r.low, b.low);
            r.volume += b.volume;
            r.amount += b.close * b.volume;
        }
        net::AppendBoardRecord(out, r);
    }
    return out;
}

std::string BarsText(const net::Frame& frame) {
    for (const Security& s : kSecurities) {
        if (frame.body.starts_with("code=" + std::string(s.code) + "&")) {
            const bool daily = frame.body.find("period=d") != std::string::npos;
            std::string out;
            for (const net::BarRecord& b :
                 Walk(s, daily ? net::BarPeriod::kDay : net::BarPeriod::kMinute, daily ? 140 : 240))
                net::AppendBarRecord(out, b);
            return out;
        }
    }
    return {};
}

bool Save(QWidget& widget, const QString& folder, const QString& name) {
    QTest::qWait(300);
    const QString path = QDir(folder).filePath(name);
    if (!widget.grab().save(path)) {
        QTextStream(stderr) << "cannot write " << path << '\n';
        return false;
    }
    QTextStream(stdout) << path << '\n';
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setFont(QFont(QStringLiteral("WenQuanYi Micro Hei"), 9));
    const QStringList args = QApplication::arguments();
    if (args.size() != 3) {
        QTextStream(stderr) << "usage: market_screens <output folder> <name prefix>\n";
        return 2;
    }
    const QString folder = args.at(1);
    const QString prefix = args.at(2);
    QDir().mkpath(folder);
    QTemporaryDir ini;

    tavix::test::GuiTestClient<tavix::test::RecordingNotifier> c({.connect = true, .user = "demo"});
    c.server.SetAutoReply(net::kCmdQuoteBoard, [board = BoardText()](const net::Frame& f) {
        return f.body.starts_with("start=0&") ? board : std::string();
    });
    c.server.SetAutoReply(net::kCmdBars, &BarsText);
    c.context.iniPath = ini.filePath(QStringLiteral("client.ini")).toStdString();
    watchlist::Save(c.context.iniPath, "demo", {"600519", "600000", "300750"});

    CMainFrame frame(c.context);
    frame.resize(1200, 700);
    frame.show();
    QTest::qWaitForWindowExposed(&frame);
    bool ok = true;

    frame.ShowFunction(QStringLiteral("行情报价"));
    auto* board = qobject_cast<CQuoteListView*>(frame.RightView());
    QTest::qWaitFor([&] { return board->Table()->model()->rowCount() > 0; }, 5000);
    board->Table()->sortByColumn(3 /* 涨跌 */, Qt::DescendingOrder);
    board->SelectCode(QStringLiteral("600000"));
    ok &= Save(frame, folder, prefix + QStringLiteral("-board.png"));

    frame.ShowFunction(QStringLiteral("自选股"));
    auto* watch = qobject_cast<CQuoteListView*>(frame.RightView());
    QTest::qWaitFor([&] { return watch->Table()->model()->rowCount() == 3; }, 5000);
    ok &= Save(frame, folder, prefix + QStringLiteral("-watchlist.png"));

    frame.OpenLookup(QStringLiteral("z"));
    QTest::qWait(200);
    frame.Lookup()->Edit()->setText(QStringLiteral("zs"));
    QTest::qWait(200);
    // The popup is a window of its own: the picture is of the screen around it.
    QPixmap screen = frame.screen()->grabWindow(0);
    ok &= screen.save(QDir(folder).filePath(prefix + QStringLiteral("-lookup.png")));
    QTextStream(stdout) << QDir(folder).filePath(prefix + QStringLiteral("-lookup.png")) << '\n';
    frame.Lookup()->close();

    frame.OpenChart(QStringLiteral("600000"));
    auto* chart = qobject_cast<CChartView*>(frame.RightView());
    QTest::qWaitFor([&] { return chart->ShownBars().size() == 240; }, 5000);
    chart->PointAt(100);
    ok &= Save(frame, folder, prefix + QStringLiteral("-minutes.png"));
    chart->SetDaily(true);
    QTest::qWaitFor([&] { return chart->ShownBars().size() == CChartView::kDailyBars; }, 5000);
    chart->PointAt(CChartView::kDailyBars - 3);
    ok &= Save(frame, folder, prefix + QStringLiteral("-daily.png"));

    frame.OpenOrderForm(true, QStringLiteral("600000"));
    c.server.Send(net::kCmdQuoteUpdate,
                  "600000,PFYH,7.19,7.12,7.18,7.17,7.16,7.15,7.14,900,800,700,600,500,7.19,7.20,7.21,7.22,7.23,"
                  "100,200,300,400,500");
    QTest::qWait(1500);
    ok &= Save(frame, folder, prefix + QStringLiteral("-buy.png"));

    // An older server: nothing answers the board.
    tavix::test::GuiTestClient<tavix::test::RecordingNotifier> old({.connect = true, .user = "demo"});
    CMainFrame oldFrame(old.context);
    oldFrame.resize(1200, 700);
    oldFrame.show();
    oldFrame.ShowFunction(QStringLiteral("行情报价"));
    QTest::qWait(4500);
    ok &= Save(oldFrame, folder, prefix + QStringLiteral("-unavailable.png"));
    return ok ? 0 : 1;
}
