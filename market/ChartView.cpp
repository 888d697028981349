#include "market/ChartView.h"

#include "core/ClientContext.h"
#include "core/Gbk.h"
#include "net/SharedState.h"
#include "net/TradingLink.h"
#include "wire/Board.h"

#include <QBarSet>
#include <QCandlestickSeries>
#include <QCandlestickSet>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QGraphicsLineItem>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineSeries>
#include <QMouseEvent>
#include <QPushButton>
#include <QStackedBarSeries>
#include <QTimer>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

namespace {

const QColor kUp(220, 0, 0);
const QColor kDown(0, 150, 0);
const QColor kAverage(230, 160, 0);
const QColor kGrid(200, 200, 200);
constexpr int kMinuteSlots = 240;

QString Price(double cents) {
    return QString::asprintf("%.2f", cents / 100.0);
}

QChart* MakeChart() {
    auto* chart = new QChart();
    chart->legend()->hide();
    chart->setMargins(QMargins(4, 4, 4, 4));
    chart->setBackgroundRoundness(0);
    return chart;
}

QChartView* MakeView(QChart* chart, QWidget* parent, const QString& name) {
    auto* view = new QChartView(chart, parent);
    view->setObjectName(name);
    view->setRenderHint(QPainter::Antialiasing, false);
    view->setMouseTracking(true);
    view->setFocusPolicy(Qt::NoFocus);
    return view;
}

QLineSeries* MakeLine(QChart* chart, const QColor& colour, Qt::PenStyle style = Qt::SolidLine) {
    auto* line = new QLineSeries(chart);
    QPen pen(colour);
    pen.setWidthF(1.2);
    pen.setStyle(style);
    line->setPen(pen);
    chart->addSeries(line);
    return line;
}

} // namespace

int CChartView::MinuteSlot(int hhmm) {
    const int minutes = hhmm / 100 * 60 + hhmm % 100;
    if (minutes >= 9 * 60 + 30 && minutes < 11 * 60 + 30)
        return minutes - (9 * 60 + 30);
    if (minutes >= 13 * 60 && minutes <= 15 * 60)
        return std::min(120 + minutes - 13 * 60, kMinuteSlots - 1);
    return -1;
}

std::vector<double> CChartView::MovingAverage(const std::vector<net::BarRecord>& bars, int n) {
    std::vector<double> out(bars.size(), 0.0);
    double sum = 0;
    for (std::size_t i = 0; i < bars.size(); ++i) {
        sum += static_cast<double>(bars[i].close);
        if (i >= static_cast<std::size_t>(n))
            sum -= static_cast<double>(bars[i - static_cast<std::size_t>(n)].close);
        if (i + 1 >= static_cast<std::size_t>(n))
            out[i] = sum / n;
    }
    return out;
}

CChartView::CChartView(ClientContext& context, QWidget* parent)
    : CTFormView(context, parent) {
    setFocusPolicy(Qt::StrongFocus);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(2);
    auto* top = new QHBoxLayout();
    m_title = new QLabel(this);
    m_title->setObjectName(QStringLiteral("chartTitle"));
    QFont bold = m_title->font();
    bold.setBold(true);
    m_title->setFont(bold);
    m_switch = new QPushButton(QStringLiteral("日K(F8)"), this);
    m_switch->setObjectName(QStringLiteral("periodSwitch"));
    m_switch->setFocusPolicy(Qt::NoFocus);
    m_notice = new QLabel(this);
    m_notice->setObjectName(QStringLiteral("notice"));
    m_notice->setStyleSheet(QStringLiteral("color: rgb(200, 0, 0);"));
    top->addWidget(m_title);
    top->addWidget(m_switch);
    top->addWidget(m_notice);
    top->addStretch(1);
    layout->addLayout(top);
    m_figures = new QLabel(this);
    m_figures->setObjectName(QStringLiteral("figures"));
    m_figures->setTextFormat(Qt::PlainText);
    layout->addWidget(m_figures);
    BuildCharts();
    layout->addWidget(m_priceView, 3);
    layout->addWidget(m_volumeView, 1);

    connect(m_switch, &QPushButton::clicked, this, [this] { SetDaily(!m_daily); });
    m_timer = new QTimer(this);
    m_timer->setInterval(kRefreshMs);
    connect(m_timer, &QTimer::timeout, this, &CChartView::Refresh);
}

CChartView::~CChartView() = default;

void CChartView::BuildCharts() {
    m_price = MakeChart();
    m_volume = MakeChart();
    m_priceView = MakeView(m_price, this, QStringLiteral("priceChart"));
    m_volumeView = MakeView(m_volume, this, QStringLiteral("volumeChart"));
    m_priceView->viewport()->installEventFilter(this);
    m_volumeView->viewport()->installEventFilter(this);

    m_base = MakeLine(m_price, QColor(120, 120, 120), Qt::DashLine);
    m_upLimit = MakeLine(m_price, kUp, Qt::DotLine);
    m_downLimit = MakeLine(m_price, kDown, Qt::DotLine);
    m_last = MakeLine(m_price, QColor(30, 60, 200));
    m_average = MakeLine(m_price, kAverage);
    m_candles = new QCandlestickSeries(m_price);
    m_candles->setIncreasingColor(kUp);
    m_candles->setDecreasingColor(kDown);
    m_candles->setBodyWidth(0.7);
    m_price->addSeries(m_candles);
    const QColor maColours[3] = {QColor(230, 160, 0), QColor(200, 0, 200), QColor(0, 120, 200)};
    for (int i = 0; i < 3; ++i)
        m_ma[i] = MakeLine(m_price, maColours[i]);

    // Candles take a plain value axis; the labelled time axis (a category axis over the same
    // range) rides on the baseline.
    m_priceX = new QCategoryAxis(m_price);
    m_priceX->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    m_priceX->setGridLineColor(kGrid);
    m_valueX = new QValueAxis(m_price);
    m_valueX->setVisible(false);
    m_priceY = new QValueAxis(m_price);
    m_priceY->setLabelFormat(QStringLiteral("%.2f"));
    m_priceY->setGridLineColor(kGrid);
    m_price->addAxis(m_priceX, Qt::AlignBottom);
    m_price->addAxis(m_valueX, Qt::AlignBottom);
    m_price->addAxis(m_priceY, Qt::AlignLeft);
    for (QAbstractSeries* s : m_price->series()) {
        s->attachAxis(s == m_base ? static_cast<QAbstractAxis*>(m_priceX) : m_valueX);
        s->attachAxis(m_priceY);
    }

    m_volumes = new QStackedBarSeries(m_volume);
    m_volumes->setBarWidth(0.7);
    m_upVolume = new QBarSet(QStringLiteral("up"), m_volumes);
    m_downVolume = new QBarSet(QStringLiteral("down"), m_volumes);
    for (QBarSet* set : {m_upVolume, m_downVolume}) {
        const QColor colour = set == m_upVolume ? kUp : kDown;
        set->setColor(colour);
        set->setBorderColor(colour);
        m_volumes->append(set);
    }
    m_volume->addSeries(m_volumes);
    m_volumeX = new QValueAxis(m_volume);
    m_volumeX->setLabelsVisible(false);
    m_volumeX->setGridLineVisible(false);
    m_volumeY = new QValueAxis(m_volume);
    m_volumeY->setLabelFormat(QStringLiteral("%.0f"));
    m_volumeY->setGridLineColor(kGrid);
    m_volume->addAxis(m_volumeX, Qt::AlignBottom);
    m_volume->addAxis(m_volumeY, Qt::AlignLeft);
    m_volumes->attachAxis(m_volumeX);
    m_volumes->attachAxis(m_volumeY);

    const QPen crossPen(QColor(90, 90, 90), 1, Qt::DashLine);
    m_crossV = new QGraphicsLineItem(m_price);
    m_crossH = new QGraphicsLineItem(m_price);
    m_volumeCross = new QGraphicsLineItem(m_volume);
    for (QGraphicsLineItem* line : {m_crossV, m_crossH, m_volumeCross}) {
        line->setPen(crossPen);
        line->setZValue(10);
        line->hide();
    }
}

void CChartView::OnInitialUpdate() {
    Refresh();
    m_timer->start();
}

void CChartView::OnRefreshKey() {
    Refresh();
}

void CChartView::SetCode(const QString& code) {
    if (code == m_code)
        return;
    m_code = code;
    m_cross = -1;
    m_shownVersion = 0;
    Refresh();
}

void CChartView::SetDaily(bool daily) {
    if (daily == m_daily)
        return;
    m_daily = daily;
    m_switch->setText(daily ? QStringLiteral("分时(F8)") : QStringLiteral("日K(F8)"));
    m_cross = -1;
    m_shownVersion = 0;
    Refresh();
}

void CChartView::Refresh() {
    if (m_code.isEmpty()) {
        m_title->setText(QStringLiteral("走势图：输入代码或名称查找证券"));
        return;
    }
    const std::string code = ToGbk(m_code);
    net::MarketData& market = Context().state.market;
    const net::BarKey key{code, m_daily ? net::BarPeriod::kDay : net::BarPeriod::kMinute};
    Context().link.QueryBars(code, key.period, m_daily ? kDailyBars + 20 : 1024);
    Context().link.QueryBoardRow(code);
    const auto now = net::MarketData::Clock::now();
    const bool unavailable = market.BarsService(now) == net::MarketData::Service::kUnavailable;
    m_notice->setText(unavailable ? QStringLiteral("行情服务不可用") : QString());

    QString title = m_code;
    if (const auto row = market.Row(code)) {
        title += QStringLiteral("  ") + FromGbk(row->name);
        m_prevClose = row->prevClose;
    }
    m_title->setText(title + (m_daily ? QStringLiteral("  日K") : QStringLiteral("  分时")));
    const std::uint64_t version = market.BarsVersion(key);
    if (version == m_shownVersion && m_shownDaily == m_daily && m_shownCode == m_code)
        return;
    m_shownVersion = version;
    m_shownDaily = m_daily;
    m_shownCode = m_code;
    m_bars = market.Bars(key);
    Redraw();
}

void CChartView::Redraw() {
    // A crosshair on the newest bar stays on the newest bar as new ones come.
    const bool onNewest = m_cross >= 0 && m_cross + 1 == static_cast<int>(m_bars.size());
    if (m_daily)
        DrawDays();
    else
        DrawMinutes();
    const int count = static_cast<int>(m_bars.size());
    if (onNewest || m_cross >= count)
        m_cross = count - 1;
    PlaceCrosshair();
}

void CChartView::DrawMinutes() {
    for (QLineSeries* ma : m_ma)
        ma->clear();
    m_candles->clear();
    QList<QPointF> last;
    QList<QPointF> average;
    double turnover = 0;
    double volume = 0;
    std::int64_t lo = m_prevClose;
    std::int64_t hi = m_prevClose;
    std::int64_t previous = m_prevClose;
    // A server that trades around the clock sends minutes outside the sessions: those days are
    // drawn minute by minute from the first bar instead.
    m_sessionAxis =
        std::all_of(m_bars.begin(), m_bars.end(), [](const net::BarRecord& b) { return MinuteSlot(b.time) >= 0; });
    m_firstMinute = m_bars.empty() ? 0 : m_bars.front().time / 100 * 60 + m_bars.front().time % 100;
    const int slotCount =
        m_sessionAxis ? kMinuteSlots : std::max(kMinuteSlots, MinuteX(m_bars.empty() ? 0 : m_bars.back().time) + 1);
    QList<qreal> up(slotCount, 0.0);
    QList<qreal> down(slotCount, 0.0);
    for (const net::BarRecord& bar : m_bars) {
        const int slot = MinuteX(bar.time);
        if (slot < 0 || slot >= slotCount)
            continue;
        last.append(QPointF(slot, bar.close / 100.0));
        turnover += static_cast<double>(bar.close) * static_cast<double>(bar.volume);
        volume += static_cast<double>(bar.volume);
        average.append(QPointF(slot, (volume > 0 ? turnover / volume : static_cast<double>(bar.close)) / 100.0));
        (bar.close >= previous ? up : down)[slot] += static_cast<qreal>(bar.volume / 100);
        previous = bar.close;
        lo = std::min(lo, bar.low > 0 ? bar.low : bar.close);
        hi = std::max(hi, bar.high);
    }
    m_last->replace(last);
    m_average->replace(average);
    // A line of one point draws nothing: the first minute shows as a dot.
    m_last->setPointsVisible(last.size() < 2);

    // Symmetric about the previous close, so the baseline sits in the middle.
    const std::int64_t base = m_prevClose > 0 ? m_prevClose : (m_bars.empty() ? 100 : m_bars.front().open);
    const double spread = std::max({static_cast<double>(hi - base), static_cast<double>(base - lo), base * 0.01});
    m_priceY->setRange((base - spread * 1.1) / 100.0, (base + spread * 1.1) / 100.0);
    m_base->replace({QPointF(0, base / 100.0), QPointF(slotCount - 1, base / 100.0)});
    const net::PriceLimits limits = net::LimitPrices(base, net::LimitPercent(net::BoardOf(ToGbk(m_code))));
    m_upLimit->replace({QPointF(0, limits.up / 100.0), QPointF(slotCount - 1, limits.up / 100.0)});
    m_downLimit->replace({QPointF(0, limits.down / 100.0), QPointF(slotCount - 1, limits.down / 100.0)});

    for (const QString& label : m_priceX->categoriesLabels())
        m_priceX->remove(label);
    m_priceX->setRange(-0.5, slotCount - 0.5);
    m_valueX->setRange(-0.5, slotCount - 0.5);
    if (m_sessionAxis) {
        m_priceX->append(QStringLiteral("9:30"), 0);
        m_priceX->append(QStringLiteral("10:30"), 60);
        m_priceX->append(QStringLiteral("11:30/13:00"), 120);
        m_priceX->append(QStringLiteral("14:00"), 180);
        m_priceX->append(QStringLiteral("15:00"), kMinuteSlots - 1);
    } else {
        for (int x = 0; x < slotCount; x += 60) {
            const int minute = (m_firstMinute + x) % (24 * 60);
            m_priceX->append(QString::asprintf("%d:%02d", minute / 60, minute % 60), x);
        }
    }
    m_priceX->setStartValue(-0.5);

    m_upVolume->remove(0, m_upVolume->count());
    m_downVolume->remove(0, m_downVolume->count());
    m_upVolume->append(up);
    m_downVolume->append(down);
    m_volumeX->setRange(-0.5, slotCount - 0.5);
    const qreal top = std::max(*std::max_element(up.begin(), up.end()), *std::max_element(down.begin(), down.end()));
    m_volumeY->setRange(0, std::max<qreal>(top * 1.1, 1));
    m_figures->setText(QStringLiteral("昨收 %1  涨停 %2  跌停 %3  (蓝线最新价，黄线均价)")
                           .arg(Price(static_cast<double>(base)), Price(static_cast<double>(limits.up)),
                                Price(static_cast<double>(limits.down))));
}

void CChartView::DrawDays() {
    m_last->clear();
    m_average->clear();
    m_base->clear();
    m_upLimit->clear();
    m_downLimit->clear();
    m_candles->clear();
    // The extra bars before the shown ones only feed the averages.
    const std::size_t first = m_bars.size() > static_cast<std::size_t>(kDailyBars) ? m_bars.size() - kDailyBars : 0;
    const int periods[3] = {5, 10, 20};
    std::vector<double> averages[3];
    for (int i = 0; i < 3; ++i)
        averages[i] = MovingAverage(m_bars, periods[i]);
    std::vector<net::BarRecord> shown(m_bars.begin() + static_cast<std::ptrdiff_t>(first), m_bars.end());
    QList<QCandlestickSet*> sets;
    QList<QPointF> ma[3];
    QList<qreal> up;
    QList<qreal> down;
    std::int64_t lo = shown.empty() ? 0 : shown.front().low;
    std::int64_t hi = 0;
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const net::BarRecord& b = shown[i];
        sets.append(
            new QCandlestickSet(b.open / 100.0, b.high / 100.0, b.low / 100.0, b.close / 100.0, static_cast<qreal>(i)));
        for (int k = 0; k < 3; ++k) {
            const double value = averages[k][first + i];
            if (value > 0)
                ma[k].append(QPointF(static_cast<qreal>(i), value / 100.0));
        }
        const bool rising = b.close >= b.open;
        up.append(rising ? static_cast<qreal>(b.volume / 100) : 0);
        down.append(rising ? 0 : static_cast<qreal>(b.volume / 100));
        lo = std::min(lo, b.low);
        hi = std::max(hi, b.high);
    }
    m_candles->append(sets);
    for (int k = 0; k < 3; ++k)
        m_ma[k]->replace(ma[k]);
    m_bars = shown;
    const double pad = std::max(1.0, static_cast<double>(hi - lo) * 0.05);
    m_priceY->setRange((static_cast<double>(lo) - pad) / 100.0, (static_cast<double>(hi) + pad) / 100.0);

    for (const QString& label : m_priceX->categoriesLabels())
        m_priceX->remove(label);
    const int n = std::max<int>(static_cast<int>(shown.size()), 1);
    m_priceX->setRange(-0.5, n - 0.5);
    m_valueX->setRange(-0.5, n - 0.5);
    m_priceX->setStartValue(-0.5);
    // A date every fifth of the way, the last bar's always.
    for (int i = 0; i < static_cast<int>(shown.size()); i += std::max(1, n / 5)) {
        const int d = shown[static_cast<std::size_t>(i)].time;
        m_priceX->append(QString::asprintf("%04d-%02d-%02d", d / 10000, d / 100 % 100, d % 100), i);
    }
    m_upVolume->remove(0, m_upVolume->count());
    m_downVolume->remove(0, m_downVolume->count());
    m_upVolume->append(up);
    m_downVolume->append(down);
    m_volumeX->setRange(-0.5, n - 0.5);
    qreal top = 1;
    for (qreal v : up)
        top = std::max(top, v);
    for (qreal v : down)
        top = std::max(top, v);
    m_volumeY->setRange(0, top * 1.1);
    m_figures->setText(shown.empty() ? QStringLiteral("暂无日线") : QStringLiteral("MA5 黄  MA10 紫  MA20 蓝"));
}

int CChartView::MinuteX(int hhmm) const {
    if (m_sessionAxis)
        return MinuteSlot(hhmm);
    return (hhmm / 100 * 60 + hhmm % 100 - m_firstMinute + 24 * 60) % (24 * 60);
}

double CChartView::XOf(int index) const {
    if (m_daily)
        return index;
    return MinuteX(m_bars[static_cast<std::size_t>(index)].time);
}

void CChartView::PointAt(int index) {
    m_cross = m_bars.empty() ? -1 : std::clamp(index, 0, static_cast<int>(m_bars.size()) - 1);
    PlaceCrosshair();
}

void CChartView::HideCrosshair() {
    m_cross = -1;
    PlaceCrosshair();
}

void CChartView::PlaceCrosshair() {
    if (m_cross < 0 || m_cross >= static_cast<int>(m_bars.size())) {
        m_crossV->hide();
        m_crossH->hide();
        m_volumeCross->hide();
        return;
    }
    const net::BarRecord& b = m_bars[static_cast<std::size_t>(m_cross)];
    const double x = XOf(m_cross);
    const QRectF plot = m_price->plotArea();
    const QPointF at = m_price->mapToPosition(QPointF(x, b.close / 100.0), m_last);
    m_crossV->setLine(at.x(), plot.top(), at.x(), plot.bottom());
    m_crossH->setLine(plot.left(), at.y(), plot.right(), at.y());
    const QRectF volumePlot = m_volume->plotArea();
    const QPointF volumeAt = m_volume->mapToPosition(QPointF(x, 0), m_volumes);
    m_volumeCross->setLine(volumeAt.x(), volumePlot.top(), volumeAt.x(), volumePlot.bottom());
    m_crossV->show();
    m_crossH->show();
    m_volumeCross->show();

    const QString when = m_daily ? QString::asprintf("%04d-%02d-%02d", b.time / 10000, b.time / 100 % 100, b.time % 100)
                                 : QString::asprintf("%02d:%02d", b.time / 100, b.time % 100);
    QString text = QStringLiteral("%1  开 %2  高 %3  低 %4  收 %5  量 %6手")
                       .arg(when, Price(static_cast<double>(b.open)), Price(static_cast<double>(b.high)),
                            Price(static_cast<double>(b.low)), Price(static_cast<double>(b.close)))
                       .arg(b.volume / 100);
    if (m_prevClose > 0 && !m_daily)
        text += QString::asprintf("  涨幅 %.2f%%", static_cast<double>(b.close - m_prevClose) * 100.0 /
                                                       static_cast<double>(m_prevClose));
    m_figures->setText(text);
}

bool CChartView::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == m_priceView->viewport() || watched == m_volumeView->viewport()) &&
        event->type() == QEvent::MouseMove && !m_bars.empty()) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        QChart* chart = watched == m_priceView->viewport() ? m_price : m_volume;
        QAbstractSeries* series = chart == m_price ? static_cast<QAbstractSeries*>(m_last) : m_volumes;
        const double x = chart->mapToValue(mouse->position(), series).x();
        // The bar nearest to the mouse along the time axis.
        int best = 0;
        double bestDistance = 1e18;
        for (int i = 0; i < static_cast<int>(m_bars.size()); ++i) {
            const double d = std::abs(XOf(i) - x);
            if (d < bestDistance) {
                bestDistance = d;
                best = i;
            }
        }
        PointAt(best);
    }
    return CTFormView::eventFilter(watched, event);
}

void CChartView::keyPressEvent(QKeyEvent* event) {
    const int n = static_cast<int>(m_bars.size());
    switch (event->key()) {
    case Qt::Key_F8:
        SetDaily(!m_daily);
        return;
    case Qt::Key_Left:
        PointAt(m_cross < 0 ? n - 1 : m_cross - 1);
        return;
    case Qt::Key_Right:
        PointAt(m_cross < 0 ? n - 1 : m_cross + 1);
        return;
    case Qt::Key_Home:
        PointAt(0);
        return;
    case Qt::Key_End:
        PointAt(n - 1);
        return;
    case Qt::Key_Escape:
        HideCrosshair();
        return;
    default:
        CTFormView::keyPressEvent(event);
    }
}
