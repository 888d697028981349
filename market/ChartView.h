#pragma once

#include "core/TFormView.h"
#include "wire/MarketRecords.h"

#include <QString>

#include <cstdint>
#include <vector>

class QCandlestickSeries;
class QCategoryAxis;
class QChart;
class QChartView;
class QGraphicsLineItem;
class QLabel;
class QLineSeries;
class QPushButton;
class QStackedBarSeries;
class QBarSet;
class QTimer;
class QValueAxis;

// 走势图 of one security: 分时 (the day's minute line of the last price and its average,
// the previous close as the baseline, the day's limits, volume below, 9:30–11:30 and
// 13:00–15:00 without the lunch gap) or 日K (candles, volume, MA5 / MA10 / MA20), switched
// by the button or F8. A crosshair follows the mouse or the Left / Right keys and names the
// bar's figures. While shown it asks for the bars every couple of seconds.
class CChartView final : public CTFormView {
    Q_OBJECT
public:
    explicit CChartView(ClientContext& context, QWidget* parent = nullptr);
    ~CChartView() override;

    void OnInitialUpdate() override;
    void OnRefreshKey() override;

    void SetCode(const QString& code);
    QString Code() const { return m_code; }
    bool Daily() const { return m_daily; }
    void SetDaily(bool daily);
    // One tick: asks for the bars and redraws when new ones came.
    void Refresh();
    // Puts the crosshair on bar `index` (clamped to the bars shown).
    void PointAt(int index);
    void HideCrosshair();
    int CrosshairIndex() const { return m_cross; }
    QLabel* Figures() const { return m_figures; }
    QLabel* Notice() const { return m_notice; }
    QChartView* PriceChart() const { return m_priceView; }
    const std::vector<net::BarRecord>& ShownBars() const { return m_bars; }

    // Position of a minute bar (HHMM) on the day's axis: 9:30 → 0, 11:29 → 119, 13:00 → 120,
    // 14:59 (and 15:00) → 239; -1 outside the trading hours.
    static int MinuteSlot(int hhmm);
    // Moving average of the last `n` closes at each bar (cents); 0 before the n-th bar.
    static std::vector<double> MovingAverage(const std::vector<net::BarRecord>& bars, int n);

    static constexpr int kRefreshMs = 2000;
    static constexpr int kDailyBars = 120;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void BuildCharts();
    void Redraw();
    void DrawMinutes();
    void DrawDays();
    void PlaceCrosshair();
    double XOf(int index) const;
    // Where a minute bar stands on the day's axis.
    int MinuteX(int hhmm) const;

    QString m_code;
    bool m_daily = false;
    std::uint64_t m_shownVersion = 0;
    bool m_shownDaily = false;
    QString m_shownCode;
    std::vector<net::BarRecord> m_bars;
    std::int64_t m_prevClose = 0;
    int m_cross = -1;
    bool m_sessionAxis = true; // 9:30–15:00 without the lunch; else minutes from the first bar
    int m_firstMinute = 0;     // minute of the day of the first bar

    QLabel* m_title = nullptr;
    QLabel* m_figures = nullptr;
    QLabel* m_notice = nullptr;
    QPushButton* m_switch = nullptr;
    QChart* m_price = nullptr;
    QChart* m_volume = nullptr;
    QChartView* m_priceView = nullptr;
    QChartView* m_volumeView = nullptr;
    QLineSeries* m_last = nullptr;
    QLineSeries* m_average = nullptr;
    QLineSeries* m_base = nullptr;
    QLineSeries* m_upLimit = nullptr;
    QLineSeries* m_downLimit = nullptr;
    QCandlestickSeries* m_candles = nullptr;
    QLineSeries* m_ma[3] = {};
    QStackedBarSeries* m_volumes = nullptr;
    QBarSet* m_upVolume = nullptr;
    QBarSet* m_downVolume = nullptr;
    QValueAxis* m_priceY = nullptr;
    QCategoryAxis* m_priceX = nullptr;
    QValueAxis* m_valueX = nullptr;
    QValueAxis* m_volumeY = nullptr;
    QValueAxis* m_volumeX = nullptr;
    QGraphicsLineItem* m_crossV = nullptr;
    QGraphicsLineItem* m_crossH = nullptr;
    QGraphicsLineItem* m_volumeCross = nullptr;
    QTimer* m_timer = nullptr;
};
