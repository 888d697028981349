#include "account/StandingView.h"

#include "core/ClientContext.h"
#include "core/Gbk.h"
#include "net/SharedState.h"
#include "net/TradingLink.h"

#include <QBrush>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineSeries>
#include <QSplitter>
#include <QTableWidget>
#include <QTime>
#include <QTimer>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

const QString kPeriodNames[] = {QStringLiteral("今日"), QStringLiteral("本周"), QStringLiteral("本月"),
                                QStringLiteral("总排名")};

QTableWidget* MakeTable(const QString& name, const QStringList& headers, QWidget* parent) {
    auto* table = new QTableWidget(0, static_cast<int>(headers.size()), parent);
    table->setObjectName(name);
    table->setHorizontalHeaderLabels(headers);
    table->verticalHeader()->hide();
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setTabKeyNavigation(false); // Tab leaves the table for the next control
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    return table;
}

QTableWidgetItem* Cell(const QString& text, bool number = true) {
    auto* item = new QTableWidgetItem(text);
    item->setTextAlignment(number ? Qt::AlignRight | Qt::AlignVCenter : Qt::AlignLeft | Qt::AlignVCenter);
    return item;
}

// Red for a gain, green for a loss, as the market shows prices.
QBrush ReturnColour(const std::string& text) {
    if (text.starts_with('-'))
        return QBrush(QColor(0, 128, 0));
    if (text.find_first_of("123456789") != std::string::npos)
        return QBrush(QColor(200, 0, 0));
    return QBrush(QColor(0, 0, 0));
}

QString Percent(const std::string& text) {
    return FromGbk(text) + QLatin1Char('%');
}

} // namespace

CStandingView::CStandingView(ClientContext& context, QWidget* parent)
    : CTFormView(context, parent)
    , m_mine(MakeTable(QStringLiteral("myStanding"),
                       {QStringLiteral("周期"), QStringLiteral("我的名次"), QStringLiteral("收益率"),
                        QStringLiteral("盈亏（元）"), QStringLiteral("总资产（元）")},
                       this))
    , m_period(new QComboBox(this))
    , m_top(MakeTable(
          QStringLiteral("topTable"),
          {QStringLiteral("名次"), QStringLiteral("选手"), QStringLiteral("总资产（元）"), QStringLiteral("收益率")},
          this))
    , m_chart(new QChartView(this))
    , m_note(new QLabel(QStringLiteral("正在读取排名……"), this))
    , m_refresh(new QTimer(this)) {
    setObjectName(QStringLiteral("standingView"));
    m_period->setObjectName(QStringLiteral("period"));
    for (const QString& name : kPeriodNames)
        m_period->addItem(name + QStringLiteral("前20名"));
    m_period->setCurrentIndex(static_cast<int>(net::StandingPeriod::kAll));
    m_note->setObjectName(QStringLiteral("standingNote"));
    m_chart->setObjectName(QStringLiteral("curveChart"));
    m_chart->setRenderHint(QPainter::Antialiasing);
    // Readable at 1200×700: my four rows in full, the top 20 scrolling, the chart tall enough
    // for its axes' labels.
    m_chart->setMinimumHeight(fontMetrics().height() * 15);
    m_mine->setRowCount(4);
    m_mine->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_mine->horizontalHeader()->setStretchLastSection(true);
    m_mine->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral(
                                "总排名 我的名次 1000 / 1000 -100.00% 盈亏（元）-99999.99 总资产（元）")) +
                            40);
    m_mine->setMinimumHeight(m_mine->horizontalHeader()->sizeHint().height() +
                             4 * m_mine->verticalHeader()->defaultSectionSize() + 4);
    m_top->setMinimumHeight(fontMetrics().height() * 8);
    for (int row = 0; row < 4; ++row)
        m_mine->setItem(row, 0, Cell(kPeriodNames[row], false));

    auto* periodLabel = new QLabel(QStringLiteral("排行榜(&P)："), this);
    periodLabel->setBuddy(m_period);
    auto* mineTitle = new QLabel(QStringLiteral("我的排名"), this);
    QFont bold = mineTitle->font();
    bold.setBold(true);
    mineTitle->setFont(bold);

    auto* left = new QWidget(this);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->addWidget(mineTitle);
    leftLayout->addWidget(m_mine, 1);
    leftLayout->addWidget(m_note);
    auto* right = new QWidget(this);
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    auto* choose = new QHBoxLayout;
    choose->addWidget(periodLabel);
    choose->addWidget(m_period, 1);
    rightLayout->addLayout(choose);
    rightLayout->addWidget(m_top, 1);

    auto* tables = new QSplitter(Qt::Horizontal, this);
    tables->addWidget(left);
    tables->addWidget(right);
    tables->setStretchFactor(1, 1);
    auto* rows = new QSplitter(Qt::Vertical, this);
    rows->setObjectName(QStringLiteral("standingSplitter"));
    rows->addWidget(tables);
    rows->addWidget(m_chart);
    rows->setStretchFactor(0, 1);
    rows->setStretchFactor(1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(rows);
    setTabOrder(m_mine, m_period);
    setTabOrder(m_period, m_top);

    connect(m_period, &QComboBox::currentIndexChanged, this, [this] { FillTop(); });
    m_refresh->setInterval(kRefreshMs);
    connect(m_refresh, &QTimer::timeout, this, &CStandingView::Ask);
}

void CStandingView::OnInitialUpdate() {
    Fill(); // what an earlier visit left, at once
    Ask();
    m_refresh->start();
    m_mine->setFocus();
}

void CStandingView::Ask() {
    net::StandingTables& tables = Context().state.standing;
    const std::uint64_t answers = tables.Answers();
    net::TradingLink& link = Context().link;
    for (const net::StandingPeriod period : net::kStandingPeriods)
        link.QueryStanding(period, kTopCount);
    link.QueryCurve();
    m_answersBefore = answers;
    QTimer::singleShot(kNoAnswerMs, this, [this, answers] {
        if (m_answersBefore == answers)
            CheckAnswered();
    });
}

void CStandingView::CheckAnswered() {
    if (Context().state.standing.Answers() != m_answersBefore)
        return;
    m_note->setText(m_everAnswered ? QStringLiteral("服务器暂未回答，显示的是较早的排名")
                                   : QStringLiteral("服务器未回答排名请求：它可能是不提供大赛排名的旧版本"));
    m_note->setStyleSheet(QStringLiteral("color: rgb(200, 0, 0);"));
}

void CStandingView::Fill() {
    const bool any = Context().state.standing.Answers() > 0;
    FillMine();
    FillTop();
    FillCurve();
    if (any) {
        m_everAnswered = true;
        m_note->setStyleSheet(QString());
        m_note->setText(QStringLiteral("更新于 ") + QTime::currentTime().toString(QStringLiteral("HH:mm:ss")) +
                        QStringLiteral("，每%1秒刷新，F5 立即刷新").arg(kRefreshMs / 1000));
    }
}

void CStandingView::FillMine() {
    const net::StandingTables& tables = Context().state.standing;
    for (const net::StandingPeriod period : net::kStandingPeriods) {
        const int row = static_cast<int>(period);
        const auto answer = tables.Standing(period);
        if (!answer)
            continue;
        const net::StandingSelf& me = answer->self;
        m_mine->setItem(row, 1, Cell(QStringLiteral("%1 / %2").arg(me.rank).arg(me.participants)));
        auto* ret = Cell(Percent(me.ret));
        ret->setForeground(ReturnColour(me.ret));
        m_mine->setItem(row, 2, ret);
        auto* profit = Cell(FromGbk(me.profit));
        profit->setForeground(ReturnColour(me.profit));
        m_mine->setItem(row, 3, profit);
        m_mine->setItem(row, 4, Cell(FromGbk(me.total)));
    }
}

void CStandingView::FillTop() {
    const auto period = static_cast<net::StandingPeriod>(std::clamp(m_period->currentIndex(), 0, 3));
    const auto answer = Context().state.standing.Standing(period);
    if (!answer)
        return;
    const int current = m_top->currentRow();
    m_top->setRowCount(static_cast<int>(answer->top.size()));
    const net::StandingSelf& me = answer->self;
    for (int row = 0; row < m_top->rowCount(); ++row) {
        const net::StandingRow& r = answer->top[static_cast<std::size_t>(row)];
        // Masked names cannot tell me apart: my row is the one with my rank, total and return.
        const bool mine = r.rank == me.rank && r.total == me.total && r.ret == me.ret;
        QTableWidgetItem* cells[] = {Cell(QString::number(r.rank)), Cell(FromGbk(r.name), false),
                                     Cell(FromGbk(r.total)), Cell(Percent(r.ret))};
        cells[3]->setForeground(ReturnColour(r.ret));
        for (int column = 0; column < 4; ++column) {
            if (mine) {
                cells[column]->setBackground(QColor(255, 236, 179));
                QFont font = cells[column]->font();
                font.setBold(true);
                cells[column]->setFont(font);
                cells[column]->setData(Qt::UserRole, true);
            }
            m_top->setItem(row, column, cells[column]);
        }
        if (mine)
            m_top->item(row, 1)->setText(FromGbk(r.name) + QStringLiteral("（我）"));
    }
    if (current >= 0 && current < m_top->rowCount())
        m_top->setCurrentCell(current, 0);
}

void CStandingView::FillCurve() {
    const auto curve = Context().state.standing.Curve();
    if (!curve || curve->empty())
        return;
    auto* chart = new QChart;
    chart->setTitle(QStringLiteral("开赛以来收益率（%）"));
    chart->legend()->setAlignment(Qt::AlignBottom);
    auto* mine = new QLineSeries(chart);
    mine->setName(QStringLiteral("我的收益率"));
    auto* index = new QLineSeries(chart);
    index->setName(QStringLiteral("大盘指数"));
    auto* median = new QLineSeries(chart);
    median->setName(QStringLiteral("选手中位数"));
    double low = 0;
    double high = 0;
    for (const net::CurvePoint& p : *curve) {
        const QDate date = QDate::fromString(QString::fromLatin1(p.date), QStringLiteral("yyyyMMdd"));
        const auto x = static_cast<qreal>(QDateTime(date, QTime(12, 0)).toMSecsSinceEpoch());
        mine->append(x, p.ret);
        index->append(x, p.indexReturn);
        median->append(x, p.medianReturn);
        low = std::min({low, p.ret, p.indexReturn, p.medianReturn});
        high = std::max({high, p.ret, p.indexReturn, p.medianReturn});
    }
    QPen pen(QColor(200, 0, 0), 2);
    mine->setPen(pen);
    index->setPen(QPen(QColor(30, 90, 180), 2));
    median->setPen(QPen(QColor(120, 120, 120), 2, Qt::DashLine));
    for (QLineSeries* series : {mine, index, median})
        chart->addSeries(series);
    auto* days = new QDateTimeAxis(chart);
    days->setFormat(QStringLiteral("MM-dd"));
    days->setTickCount(std::clamp(static_cast<int>(curve->size()), 2, 8));
    const qreal first = mine->at(0).x();
    const qreal last = mine->at(mine->count() - 1).x();
    days->setRange(QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(first - 43'200'000)),
                   QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(last + 43'200'000)));
    auto* percent = new QValueAxis(chart);
    const double margin = std::max(0.5, (high - low) * 0.1);
    percent->setRange(std::floor(low - margin), std::ceil(high + margin));
    percent->setLabelFormat(QStringLiteral("%.1f%%"));
    chart->addAxis(days, Qt::AlignBottom);
    chart->addAxis(percent, Qt::AlignLeft);
    for (QLineSeries* series : {mine, index, median}) {
        series->attachAxis(days);
        series->attachAxis(percent);
    }
    const std::unique_ptr<QChart> old(m_chart->chart()); // the view lets go of the chart it replaces
    m_chart->setChart(chart);
}
