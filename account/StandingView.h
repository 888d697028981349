#pragma once

#include "core/TFormView.h"

#include <cstdint>

class QChartView;
class QComboBox;
class QLabel;
class QTableWidget;
class QTimer;

// "大赛排名": where the user stands in the contest. My rank among all for the day, the week,
// the month and the whole contest with my return and profit; the top 20 of the chosen period
// (names masked, my own row highlighted); below, my return since the start against the
// market index's and the contest's median return. Asks the server (commands 23 and 24)
// every few seconds while shown and on F5; says so when the server never answers (an older
// server without the commands).
class CStandingView final : public CTFormView {
    Q_OBJECT
public:
    static constexpr int kTopCount = 20;
    static constexpr int kRefreshMs = 5000;
    static constexpr int kNoAnswerMs = 6000; // no answer by then: the server lacks the commands

    explicit CStandingView(ClientContext& context, QWidget* parent = nullptr);

    void OnInitialUpdate() override;
    void OnRefreshKey() override { Ask(); }
    void OnStandingStored() override { Fill(); }

private:
    void Ask();
    void Fill();
    void FillMine();
    void FillTop();
    void FillCurve();
    void CheckAnswered();

    QTableWidget* m_mine;
    QComboBox* m_period;
    QTableWidget* m_top;
    QChartView* m_chart;
    QLabel* m_note;
    QTimer* m_refresh;
    std::uint64_t m_answersBefore = 0; // answers counted when the pending asks went out
    bool m_everAnswered = false;
};
