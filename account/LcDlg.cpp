#include "account/LcDlg.h"

#include "account/ListCtrlCl.h"
#include "account/PositionRevaluation.h"
#include "core/ClientContext.h"
#include "net/SharedState.h"
#include "net/TradingLink.h"

#include <QTimerEvent>

namespace {
constexpr std::array<int, positions::kColumnCount> kWidths = {90, 100, 90, 90, 90, 90, 85, 110, 85, 105, 90};
constexpr int kRevalueMs = 500;
} // namespace

CLcDlg::CLcDlg(ClientContext& context, QWidget* parent)
    : QWidget(parent)
    , m_context(context) {
    m_list = new CListCtrlCl(this);
    m_list->setObjectName(QStringLiteral("id1041"));
    positions::SetUpList(*m_list, kWidths);
    m_list->setGeometry(rect());
    connect(m_list, &CListCtrlCl::rowDoubleClicked, this, [this] { emit sellRequested(); });
    m_revalue.start(kRevalueMs, this);
}

CLcDlg::~CLcDlg() = default;

void CLcDlg::FillPositionList() {
    m_list->setUpdatesEnabled(false);
    m_list->DeleteAllItems();
    for (const net::PositionRecord& record : m_context.state.positions.Rows(&net::PositionRecord::code))
        positions::AppendRow(*m_list, record, false);
    m_list->setUpdatesEnabled(true);
}

void CLcDlg::RevaluePositions() {
    positions::Revalue(*m_list, m_context.state.quotes);
}

void CLcDlg::timerEvent(QTimerEvent* event) {
    if (event->timerId() == m_revalue.timerId()) {
        RevaluePositions();
        return;
    }
    QWidget::timerEvent(event);
}

void CLcDlg::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    m_list->setGeometry(rect());
}
