#include "account/MoneyStockView.h"

#include "account/ListCtrlCl.h"
#include "account/PositionRevaluation.h"
#include "controls/TStatic.h"
#include "core/ClientContext.h"
#include "core/Gbk.h"
#include "net/SharedState.h"
#include "net/TradingLink.h"
#include "wire/Frame.h"

#include <QPushButton>
#include <QTimerEvent>

#include <cstring>

namespace {
constexpr std::array<int, positions::kColumnCount> kWidths = {90, 100, 90, 90, 90, 80, 80, 110, 90, 90, 90};
constexpr int kRevalueMs = 500;
const QColor kFigureColour(255, 0, 0);

// Layout of the figures: three per line, label then right-aligned value.
constexpr int kLeft = 12;
constexpr int kTop = 10;
constexpr int kLineHeight = 24;
constexpr int kColumnPitch = 210;
constexpr int kLabelWidth = 64;
constexpr int kValueWidth = 120;
constexpr int kListGap = 10;
constexpr int kListMargin = 5;

std::string_view FieldBytes(const char* slot, std::size_t size) {
    return {slot, strnlen(slot, size)};
}
} // namespace

CMoneyStockView::CMoneyStockView(ClientContext& context, QWidget* parent)
    : CTFormView(context, parent) {
    m_cashBalance = AddFigure(1061, QStringLiteral("资金余额"), 1055, 0, 0);
    m_frozenFunds = AddFigure(1062, QStringLiteral("冻结金额"), 1056, 0, 1);
    m_availableFunds = AddFigure(1063, QStringLiteral("可用金额"), 1057, 0, 2);
    m_withdrawable = AddFigure(1064, QStringLiteral("可取金额"), 1058, 1, 0);
    m_stockValue = AddFigure(1065, QStringLiteral("股票市值"), 1059, 1, 1);
    m_totalAssets = AddFigure(1066, QStringLiteral("总 资 产"), 1060, 1, 2);

    m_marginFunds = AddFigure(1067, QStringLiteral("配资金额"), 1068, 2, 0);
    findChild<CTStatic*>(QStringLiteral("id1067"))->hide();
    m_marginFunds->hide();
    m_netAssets = AddFigure(1069, QStringLiteral("净 资 产"), 1070, 2, 0);
    m_netAssetsLabel = findChild<CTStatic*>(QStringLiteral("id1069"));
    m_marginLines = AddFigure(1071, QStringLiteral("预警/平仓"), 1072, 2, 1);
    m_marginLinesLabel = findChild<CTStatic*>(QStringLiteral("id1071"));
    for (CTStatic* hidden : {m_netAssets, m_netAssetsLabel, m_marginLines, m_marginLinesLabel})
        hidden->hide();

    m_anchor = new QPushButton(this);
    m_anchor->setObjectName(QStringLiteral("id1046"));
    m_anchor->setGeometry(kLeft, kTop + 2 * kLineHeight, 1, 4);
    m_anchor->hide();

    m_list = new CListCtrlCl(this);
    m_list->setObjectName(QStringLiteral("id1041"));
    connect(m_list, &CListCtrlCl::rowDoubleClicked, this, &CMoneyStockView::OnRowDoubleClicked);
    // Below this size the pane scrolls instead of cutting off the figures and the list.
    setMinimumSize(2 * kLeft + 2 * kColumnPitch + kLabelWidth + kValueWidth, kTop + 3 * kLineHeight + 120);
}

CMoneyStockView::~CMoneyStockView() = default;

CTStatic* CMoneyStockView::AddFigure(int labelId, const QString& label, int valueId, int row, int column) {
    const int x = kLeft + column * kColumnPitch;
    const int y = kTop + row * kLineHeight;
    auto* caption = new CTStatic(label, this);
    caption->setObjectName(QStringLiteral("id%1").arg(labelId));
    caption->setGeometry(x, y, kLabelWidth, kLineHeight - 4);
    auto* value = new CTStatic(QString(), this);
    value->setObjectName(QStringLiteral("id%1").arg(valueId));
    value->SetTextColor(kFigureColour);
    value->SetRightAligned(true);
    value->setGeometry(x + kLabelWidth, y, kValueWidth, kLineHeight - 4);
    return value;
}

void CMoneyStockView::OnInitialUpdate() {
    positions::SetUpList(*m_list, kWidths);
    m_list->m_headerTopLine = true;
    PlaceList();
    FillPositionList();
    FillFundsFigures();
    m_revalue.start(kRevalueMs, this);
    // What the tables hold now, then what the server says: funds and positions may have
    // changed since they were last asked for (cancels, fills of resting orders).
    Context().link.QueryPositions();
    Context().link.QueryFunds();
}

void CMoneyStockView::OnHistoryTableStored() {
    // The answers arrive later and show at the next refill; the current content shows now.
    Context().link.QueryPositions();
    Context().link.QueryFunds();
    FillPositionList();
    FillFundsFigures();
}

void CMoneyStockView::OnPositionsStored() {
    FillPositionList();
}

void CMoneyStockView::OnFundsStored() {
    FillFundsFigures();
}

void CMoneyStockView::FillPositionList() {
    m_list->setUpdatesEnabled(false);
    m_list->DeleteAllItems();
    std::string codes;
    for (const net::PositionRecord& record : Context().state.positions.Rows(&net::PositionRecord::code)) {
        if (!codes.empty())
            codes += ',';
        codes += FieldBytes(record.code, sizeof record.code);
        positions::AppendRow(*m_list, record, true);
    }
    m_list->setUpdatesEnabled(true);
    // Held codes must be quoted to be revalued; the link has usually subscribed them
    // already when it stored the positions, and then nothing is sent.
    if (!codes.empty())
        Context().link.AddQuoteSubscription(codes);
}

void CMoneyStockView::FillFundsFigures() {
    const net::FundsRecord funds = Context().state.funds.Get();
    m_cashBalance->setText(FromGbkField(funds.cashBalance));
    m_withdrawable->setText(FromGbkField(funds.withdrawable));
    m_frozenFunds->setText(FromGbkField(funds.frozenFunds));
    m_stockValue->setText(FromGbkField(funds.stockValue));
    m_availableFunds->setText(FromGbkField(funds.availableFunds));
    m_totalAssets->setText(FromGbkField(funds.totalAssets));
    m_marginFunds->setText(FromGbkField(funds.marginFunds));

    const long long margin = net::LeadingInteger(FieldBytes(funds.marginFunds, sizeof funds.marginFunds));
    if (margin <= 10)
        return;
    const double netAssets = net::LeadingDouble(FieldBytes(funds.totalAssets, sizeof funds.totalAssets)) -
                             net::LeadingDouble(FieldBytes(funds.marginFunds, sizeof funds.marginFunds));
    const long long value7 = net::LeadingInteger(FieldBytes(funds.value7, sizeof funds.value7));
    const auto line = [&](double share) {
        return QString::number(
            static_cast<long long>(static_cast<double>(margin) + share * static_cast<double>(value7)));
    };
    ShowMarginFigures(netAssets, line(0.4), line(0.2));
}

void CMoneyStockView::ShowMarginFigures(double netAssets, const QString& firstLine, const QString& secondLine) {
    m_netAssets->setText(positions::Fixed(netAssets, 2));
    m_marginLines->setText(firstLine % QStringLiteral(" / ") % secondLine);
    for (CTStatic* shown : {m_netAssets, m_netAssetsLabel, m_marginLines, m_marginLinesLabel})
        shown->show();
    m_anchor->move(kLeft, kTop + 3 * kLineHeight);
    PlaceList();
}

void CMoneyStockView::RevaluePositions() {
    const positions::PassResult pass = positions::Revalue(*m_list, Context().state.quotes);
    if (!pass.totalsChanged)
        return;
    const double sum = positions::MarketValueSum(*m_list);
    m_stockValue->setText(positions::Fixed(sum, 3));
    const double total =
        positions::CellNumber(m_cashBalance->text()) + sum + positions::CellNumber(m_frozenFunds->text());
    m_totalAssets->setText(positions::Fixed(total, 3));
    const double margin = positions::CellNumber(m_marginFunds->text());
    if (margin > 10)
        m_netAssets->setText(positions::Fixed(positions::CellNumber(m_totalAssets->text()) - margin, 2));
}

void CMoneyStockView::PlaceList() {
    const int top = m_anchor->geometry().bottom() + 1 + kListGap;
    m_list->setGeometry(kListMargin, top, std::max(0, width() - 2 * kListMargin), std::max(0, height() - top));
}

void CMoneyStockView::resizeEvent(QResizeEvent* event) {
    CTFormView::resizeEvent(event);
    PlaceList();
}

void CMoneyStockView::timerEvent(QTimerEvent* event) {
    if (event->timerId() == m_revalue.timerId()) {
        RevaluePositions();
        return;
    }
    CTFormView::timerEvent(event);
}

void CMoneyStockView::OnRowDoubleClicked() {
    const int row = m_list->GetFirstSelectedItem();
    if (row < 0 || Context().frame == nullptr)
        return;
    Context().frame->SellPosition(static_cast<int>(positions::CellInteger(m_list->GetItemText(row, positions::kCode))));
}
