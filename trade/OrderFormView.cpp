#include "trade/OrderFormView.h"

#include "account/LcDlg.h"
#include "account/ListCtrlCl.h"
#include "controls/Dlu.h"
#include "controls/FailDlg.h"
#include "controls/TEdit.h"
#include "controls/XPButton.h"
#include "core/ClientContext.h"
#include "core/Gbk.h"
#include "net/SharedState.h"
#include "net/TradingLink.h"
#include "trade/ButtonMnemonics.h"
#include "trade/SpinButtons.h"
#include "trade/TradeDlg.h"
#include "trade/WeituoDlg.h"
#include "wire/Board.h"
#include "wire/Frame.h"
#include "wire/GbkText.h"

#include <QAbstractButton>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QTabWidget>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>
#include <chrono>
#include <cmath>

namespace {

const QColor kBlack(0, 0, 0);
const QColor kRed(255, 0, 0);
const QColor kGreen(0, 230, 0);
const QColor kVolumeColour(192, 192, 0);
// The server pushes quotes every second: this long without one, a code is not quoted.
constexpr std::chrono::seconds kNoQuoteAfter{3};
const QColor kFormBackground(240, 240, 240);
const QColor kStaleQuote(128, 128, 128);

constexpr int kFirstQuoteId = 1014;
constexpr int kLastPriceIndex = 20; // 1034
constexpr int kChangeIndex = 21;    // 1035
constexpr int kUpLimitIndex = 22;   // 1036
constexpr int kDownLimitIndex = 23; // 1037

QString IdName(int id) {
    return QStringLiteral("id%1").arg(id);
}

void SetTextColour(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::Text, colour);
    widget->setPalette(palette);
}

// The values that the quote timer rewrites paint their own background (the form's grey),
// so a new text repaints only the label and not the form and frames beneath it.
void MakeOpaque(QWidget* widget) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, kFormBackground);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

// An untitled group box: an etched frame around a group of rows, the form showing through.
QFrame* MakeGroupFrame(QWidget* parent) {
    auto* frame = new QFrame(parent);
    frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
    return frame;
}

QLabel* MakeLabel(QWidget* parent, int id, const QString& text, const QRect& rect,
                  Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter) {
    auto* label = new QLabel(text, parent);
    if (id != 0)
        label->setObjectName(IdName(id));
    label->setAlignment(alignment);
    label->setGeometry(rect);
    SetTextColour(label, kBlack);
    return label;
}

CTEdit* MakeEdit(QWidget* parent, int id, const QRect& rect, const QString& pattern) {
    auto* edit = new CTEdit(parent);
    edit->setObjectName(IdName(id));
    edit->setGeometry(rect);
    edit->setValidator(new QRegularExpressionValidator(QRegularExpression(pattern), edit));
    return edit;
}

CXPButton* MakeButton(QWidget* parent, int id, const QString& text, const QRect& rect) {
    auto* button = new CXPButton(text, parent);
    button->setObjectName(IdName(id));
    button->setGeometry(rect);
    return button;
}

QString PriceText(double value) {
    return QString::asprintf("%0.2f", value);
}

QString CentsText(long long cents) {
    return QString::asprintf("%lld.%02lld", cents / 100, cents % 100);
}

double NumberOf(const QString& text) {
    return net::LeadingDouble(ToGbk(text));
}
long long IntegerOf(const QString& text) {
    return net::LeadingInteger(ToGbk(text));
}

bool IsPriceIndex(int index) {
    return index < 5 || (index >= 10 && index < 15);
}

} // namespace

COrderFormView::COrderFormView(ClientContext& context, QWidget* parent, const FormTraits& traits)
    : CTFormView(context, parent)
    , m_quoteInterval(traits.quoteIntervalMs)
    , m_positionInterval(traits.positionIntervalMs)
    , m_resizeTabGap(traits.resizeTabGap) {
    BuildForm(traits);
}

COrderFormView::~COrderFormView() = default;

void COrderFormView::BuildForm(const FormTraits& traits) {
    setMinimumSize(DluX(456), DluY(238));

    auto* title = MakeLabel(this, 1001, traits.title, DluRect(10, 8, 180, 20), Qt::AlignCenter);
    QFont titleFont = font();
    if (titleFont.pixelSize() > 0)
        titleFont.setPixelSize(static_cast<int>(titleFont.pixelSize() * 1.5));
    else
        titleFont.setPointSize(static_cast<int>(titleFont.pointSizeF() * 1.5));
    title->setFont(titleFont);
    SetTextColour(title, traits.titleColour);

    // The order form, one row every 20 units.
    MakeLabel(this, 1003, QStringLiteral("证券代码"), DluRect(15, 40, 45, 12));
    m_code = MakeEdit(this, 1002, DluRect(65, 38, 100, 13), QStringLiteral("^[0-9]{0,6}$"));
    m_code->setMaxLength(6);
    MakeLabel(this, 1004, QStringLiteral("证券名称"), DluRect(15, 60, 45, 12));
    m_name = MakeLabel(this, 1005, QString(), DluRect(65, 60, 100, 12));
    MakeLabel(this, 1006, traits.priceLabel, DluRect(15, 80, 45, 12));
    // Prices are decimal numbers on the 0.01 tick: an order body must not receive separators
    // from the edit, and a number too long to be a price is not typed at all.
    m_price = MakeEdit(this, 1007, DluRect(65, 78, 88, 13), QStringLiteral("^[0-9]{0,6}(\\.[0-9]{0,2})?$"));
    auto* priceSpin = new CSpinButtons(this);
    priceSpin->setObjectName(IdName(1169));
    priceSpin->setGeometry(DluRect(153, 78, 12, 13));
    MakeLabel(this, 1008, traits.amountLabel, DluRect(15, 100, 45, 12));
    m_amount = MakeLabel(this, 1009, QString(), DluRect(65, 100, 100, 12));
    const struct {
        int id;
        const char16_t* text;
        int divisor;
        int x;
    } presets[] = {{1103, u"全部", 100, 65}, {1104, u"1/2", 200, 99}, {1105, u"1/3", 300, 133}};
    for (const auto& preset : presets) {
        auto* radio = new QRadioButton(QString::fromUtf16(preset.text), this);
        radio->setObjectName(IdName(preset.id));
        radio->setGeometry(DluRect(preset.x, 117, 33, 12));
        SetTextColour(radio, kBlack);
        const int divisor = preset.divisor;
        connect(radio, &QRadioButton::clicked, this, [this, divisor] { ApplyPreset(divisor); });
    }
    MakeLabel(this, 1010, traits.quantityLabel, DluRect(15, 138, 45, 12));
    m_quantity = MakeEdit(this, 1011, DluRect(65, 136, 88, 13), QStringLiteral("^[0-9]{0,9}$"));
    auto* quantitySpin = new CSpinButtons(this);
    quantitySpin->setObjectName(IdName(1170));
    quantitySpin->setGeometry(DluRect(153, 136, 12, 13));
    auto* submit = MakeButton(this, 1013, traits.submitText, DluRect(40, 160, 55, 16));
    auto* reset = MakeButton(this, 1012, QStringLiteral("重置"), DluRect(105, 160, 55, 16));

    // The five-level quote panel: ask rows, bid rows, then last price, change and limits.
    auto* askBox = MakeGroupFrame(this);
    askBox->setGeometry(DluRect(205, 3, 240, 66));
    auto* bidBox = MakeGroupFrame(this);
    bidBox->setGeometry(DluRect(205, 72, 240, 66));
    auto* limitBox = MakeGroupFrame(this);
    limitBox->setGeometry(DluRect(205, 141, 240, 50));
    const Qt::Alignment right = Qt::AlignRight | Qt::AlignVCenter;
    const char16_t* askLabels[] = {u"卖五", u"卖四", u"卖三", u"卖二", u"卖一"};
    const char16_t* bidLabels[] = {u"买一", u"买二", u"买三", u"买四", u"买五"};
    for (int r = 0; r < 5; ++r) {
        const int askY = 10 + 11 * r;
        MakeLabel(this, 1061 + r, QString::fromUtf16(askLabels[r]), DluRect(215, askY, 30, 10));
        m_quote[r] = MakeLabel(this, kFirstQuoteId + r, QStringLiteral("--"), DluRect(250, askY, 80, 10), right);
        m_quote[5 + r] =
            MakeLabel(this, kFirstQuoteId + 5 + r, QStringLiteral("--"), DluRect(340, askY, 95, 10), right);
        const int bidY = 79 + 11 * r;
        MakeLabel(this, traits.bidLabelIds[r], QString::fromUtf16(bidLabels[r]), DluRect(215, bidY, 30, 10));
        m_quote[10 + r] =
            MakeLabel(this, kFirstQuoteId + 10 + r, QStringLiteral("--"), DluRect(250, bidY, 80, 10), right);
        m_quote[15 + r] =
            MakeLabel(this, kFirstQuoteId + 15 + r, QStringLiteral("--"), DluRect(340, bidY, 95, 10), right);
    }
    const char16_t* summaryLabels[] = {u"最新", u"涨幅", u"涨停", u"跌停"};
    for (int k = 0; k < 4; ++k) {
        const int x = k % 2 == 0 ? 215 : 330;
        const int y = k < 2 ? 145 : 156;
        MakeLabel(this, traits.summaryLabelIds[k], QString::fromUtf16(summaryLabels[k]), DluRect(x, y, 30, 10));
        m_quote[kLastPriceIndex + k] = MakeLabel(this, kFirstQuoteId + kLastPriceIndex + k, QStringLiteral("--"),
                                                 DluRect(x + 30, y, 75, 10), right);
    }
    // The day so far, from the quote board: 今开, 最高, 最低, 成交量.
    const char16_t* dayLabels[] = {u"今开", u"最高", u"最低", u"成交量"};
    const char* dayNames[] = {"dayOpen", "dayHigh", "dayLow", "dayVolume"};
    for (int k = 0; k < kDayControls; ++k) {
        const int x = k % 2 == 0 ? 215 : 330;
        const int y = k < 2 ? 167 : 178;
        MakeLabel(this, 0, QString::fromUtf16(dayLabels[k]), DluRect(x, y, 30, 10));
        m_day[k] = MakeLabel(this, 0, QStringLiteral("--"), DluRect(x + 30, y, 75, 10), right);
        m_day[k]->setObjectName(QString::fromLatin1(dayNames[k]));
        MakeOpaque(m_day[k]);
    }
    for (int i = 0; i < kQuoteControls; ++i) {
        QColor colour = kBlack;
        if (IsPriceIndex(i))
            colour = kRed;
        else if (i < kLastPriceIndex)
            colour = kVolumeColour;
        else if (i == kUpLimitIndex)
            colour = kRed;
        else if (i == kDownLimitIndex)
            colour = kGreen;
        SetTextColour(m_quote[i], colour);
        m_quoteColour[i] = colour;
        MakeOpaque(m_quote[i]);
    }
    MakeOpaque(m_name);

    // Refresh and the four cancel buttons.
    m_refresh = MakeButton(this, 1038, QStringLiteral("刷 新"), DluRect(10, 196, 50, 15));
    auto* cancelAll = MakeButton(this, 1039, QStringLiteral("全撤(Z /)"), DluRect(70, 196, 55, 15));
    auto* cancelBuys = MakeButton(this, 1040, QStringLiteral("撤买(&X)"), DluRect(135, 196, 55, 15));
    auto* cancelSells = MakeButton(this, 1041, QStringLiteral("撤卖(&C)"), DluRect(200, 196, 55, 15));
    auto* cancelSelected = MakeButton(this, 1042, QStringLiteral("撤单(&Q)"), DluRect(265, 196, 55, 15));

    // The tab control with the three panels.
    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(IdName(22222));
    m_tabs->setTabPosition(QTabWidget::North);
    m_tabs->setTabsClosable(false);
    m_tabs->setGeometry(0, 245, 800, 255);
    m_positionsPanel = new CLcDlg(Context(), m_tabs);
    m_tradesPanel = new CTradeDlg(Context(), m_tabs);
    m_ordersPanel = new CWeituoDlg(Context(), m_tabs);
    // Adding the first page makes it the active one, which fills it like any page change:
    // a view opened for a position finds its available quantity at once.
    connect(m_tabs, &QTabWidget::currentChanged, this, &COrderFormView::OnTabChanged);
    m_tabs->addTab(m_positionsPanel, QStringLiteral("持仓(&W)"));
    m_tabs->addTab(m_tradesPanel, QStringLiteral("成交(&E)"));
    m_tabs->addTab(m_ordersPanel, QStringLiteral("委托(&E)"));

    connect(m_code, &CTEdit::textChanged, this, &COrderFormView::OnCodeChanged);
    connect(m_price, &CTEdit::textChanged, this, [this] { UpdateAmount(); });
    // A quantity typed by hand is no preset's any more.
    connect(m_quantity, &QLineEdit::textEdited, this, [this] {
        for (int id : {1103, 1104, 1105}) {
            if (auto* radio = findChild<QRadioButton*>(IdName(id)); radio && radio->isChecked()) {
                radio->setAutoExclusive(false);
                radio->setChecked(false);
                radio->setAutoExclusive(true);
            }
        }
    });
    connect(priceSpin, &CSpinButtons::stepped, this, &COrderFormView::OnPriceStep);
    connect(quantitySpin, &CSpinButtons::stepped, this, &COrderFormView::OnQuantityStep);
    connect(submit, &CXPButton::clicked, this, [this] { RunOnce([this] { Submit(); }); });
    connect(reset, &CXPButton::clicked, this, &COrderFormView::ResetForm);
    connect(m_refresh, &CXPButton::clicked, this, &COrderFormView::OnRefreshClicked);
    connect(cancelAll, &CXPButton::clicked, this, [this] { OnCancelAll(net::kCmdCancelAll); });
    connect(cancelBuys, &CXPButton::clicked, this, [this] { OnCancelAll(net::kCmdCancelAllBuys); });
    connect(cancelSells, &CXPButton::clicked, this, [this] { OnCancelAll(net::kCmdCancelAllSells); });
    connect(cancelSelected, &CXPButton::clicked, this, &COrderFormView::OnCancelSelected);
    connect(m_positionsPanel, &CLcDlg::sellRequested, this, [this] { OnPositionPicked(); });

    for (CTEdit* edit : {m_code, m_price, m_quantity})
        edit->installEventFilter(this);
    // A price of the quote panel is picked by a click.
    for (int i = 0; i < kQuoteControls; ++i) {
        if (!IsPriceIndex(i))
            continue;
        m_quote[i]->installEventFilter(this);
        m_quote[i]->setCursor(Qt::PointingHandCursor);
        m_quote[i]->setToolTip(QStringLiteral("单击填入价格，双击同时填入全部数量"));
    }
    AddBracketKey(submit);
    AddCancelAllKeys(this, cancelAll);
    new CButtonMnemonics(this);
    // The code edit takes the focus when the form opens.
    setFocusProxy(m_code);

    m_quoteTimer = new QTimer(this);
    connect(m_quoteTimer, &QTimer::timeout, this, &COrderFormView::RefreshQuotePanel);
    m_positionTimer = new QTimer(this);
    connect(m_positionTimer, &QTimer::timeout, this, &COrderFormView::CheckPositionCount);
}

void COrderFormView::OnInitialUpdate() {
    PlaceTabs(5);
    m_quoteTimer->start(m_quoteInterval);
    m_positionTimer->start(m_positionInterval);
    update();
    m_positionsPanel->update();
}

void COrderFormView::resizeEvent(QResizeEvent* event) {
    CTFormView::resizeEvent(event);
    PlaceTabs(m_resizeTabGap);
}

void COrderFormView::PlaceTabs(int gap) {
    const int top = m_refresh->geometry().y() + m_refresh->height() + gap;
    const int bottom = height();
    if (top < bottom)
        m_tabs->setGeometry(0, top, width(), bottom - top);
}

bool COrderFormView::OnEditKey(QObject* watched, const QKeyEvent& key) {
    // Up/Down step the edit's own value (upper arrow raises, as the spin's negative delta);
    // PgUp/PgDn step the quantity by a lot from any of the three edits.
    const int key_ = key.key();
    if (key.modifiers() & (Qt::ControlModifier | Qt::AltModifier))
        return false;
    // Enter moves on through code, price and quantity; on the quantity it presses the form's
    // button, with the same confirmation as a click.
    if (key_ == Qt::Key_Return || key_ == Qt::Key_Enter) {
        if (watched == m_quantity) {
            if (auto* submit = findChild<QAbstractButton*>(IdName(1013)))
                submit->click();
        } else {
            (watched == m_code ? m_price : m_quantity)->setFocus(Qt::TabFocusReason);
        }
        return true;
    }
    if (key_ == Qt::Key_PageUp || key_ == Qt::Key_PageDown) {
        OnQuantityStep(key_ == Qt::Key_PageUp ? -1 : 1);
        return true;
    }
    if (key_ != Qt::Key_Up && key_ != Qt::Key_Down)
        return false;
    const int delta = key_ == Qt::Key_Up ? -1 : 1;
    if (watched == m_price)
        OnPriceStep(delta);
    else if (watched == m_quantity)
        OnQuantityStep(delta);
    else
        return false;
    return true;
}

void COrderFormView::OnQuotePriceClicked(int index, bool wholeQuantity) {
    const QString text = m_quote[index]->text();
    if (!(NumberOf(text) > 0))
        return; // a placeholder or an empty level
    m_price->setText(text);
    if (wholeQuantity)
        ApplyPreset(100);
}

bool COrderFormView::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && (watched == m_code || watched == m_price || watched == m_quantity)) {
        if (OnEditKey(watched, *static_cast<QKeyEvent*>(event)))
            return true;
    }
    if (event->type() == QEvent::Wheel && (watched == m_price || watched == m_quantity)) {
        const int steps = static_cast<QWheelEvent*>(event)->angleDelta().y();
        if (steps != 0) {
            const int delta = steps > 0 ? -1 : 1;
            if (watched == m_price)
                OnPriceStep(delta);
            else
                OnQuantityStep(delta);
        }
        return true;
    }
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        for (int i = 0; i < kQuoteControls; ++i) {
            if (watched == m_quote[i] && IsPriceIndex(i) && mouse->button() == Qt::LeftButton) {
                OnQuotePriceClicked(i, event->type() == QEvent::MouseButtonDblClick);
                return true;
            }
        }
    }
    // Copy, paste and cut in the three edits reach the edit, never a window shortcut.
    if (event->type() == QEvent::ShortcutOverride &&
        (watched == m_code || watched == m_price || watched == m_quantity)) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->modifiers() & Qt::ControlModifier) &&
            (key->key() == Qt::Key_C || key->key() == Qt::Key_V || key->key() == Qt::Key_X)) {
            event->accept();
            return true;
        }
    }
    return CTFormView::eventFilter(watched, event);
}

void COrderFormView::SetCodeText(const QString& code) {
    if (m_code->text() == code)
        OnCodeChanged();
    else
        m_code->setText(code);
}

void COrderFormView::OnCodeChanged() {
    const QString code = m_code->text();
    if (code.size() != 6)
        return;
    m_name->clear();
    m_price->clear();
    m_amount->clear();
    m_quantity->clear();
    UpdateAmount();
    // The previous security's quote must not stand beside the new code.
    for (int i = 0; i < kQuoteControls; ++i)
        SetQuoteText(i, QStringLiteral("-"));
    m_prevCloseText.clear();
    m_codeChangedAt = std::chrono::steady_clock::now();

    // The typed code first, then every held security, each once.
    const std::string typed = ToGbk(code);
    std::string list = typed;
    for (const net::PositionRecord& r : Context().state.positions.Rows(&net::PositionRecord::code)) {
        const std::string_view held = net::FieldText(r.code);
        if (held == typed)
            continue;
        list += ',';
        list += held;
    }
    Context().link.ReplaceQuoteSubscription(list);
}

void COrderFormView::RefreshQuotePanel() {
    const QString code = m_code->text();
    if (code.size() != 6)
        return;
    net::QuoteRecord q{};
    std::chrono::steady_clock::time_point storedAt;
    if (!Context().state.quotes.FindQuote(ToGbk(code), q, storedAt)) {
        // The server pushes every second and leaves out codes it does not quote; a live link
        // that brought nothing for the code in a few seconds means there is no such security.
        const bool answered = std::chrono::steady_clock::now() - m_codeChangedAt > kNoQuoteAfter &&
                              Context().link.Status().phase == net::LinkPhase::kLive;
        const QString unknown = QStringLiteral("无此证券");
        if (answered && m_name->text() != unknown)
            m_name->setText(unknown);
        return;
    }
    // A price that stopped moving must not look live.
    ShowQuoteAge(std::chrono::steady_clock::now() - storedAt > Context().link.Timings().quoteStaleAfter);

    std::array<QString, kQuoteControls> texts;
    for (int r = 0; r < 5; ++r) {
        texts[r] = PriceText(q.askPrice[4 - r]);
        texts[5 + r] = QString::number(q.askVolume[4 - r]);
        texts[10 + r] = PriceText(q.bidPrice[r]);
        texts[15 + r] = QString::number(q.bidVolume[r]);
    }
    const double last = q.lastPrice;
    const double prevClose = q.prevClose;
    texts[kLastPriceIndex] = PriceText(last);
    // Without a previous close there is no change and no limit to show.
    if (prevClose > 0) {
        texts[kChangeIndex] = QString::asprintf("%0.2f%%", (last - prevClose) * 100 / prevClose);
        // The limits by the code's board, on the tick, as the server enforces them.
        const net::PriceLimits limits =
            net::LimitPrices(std::llround(prevClose * 100), net::LimitPercent(net::BoardOf(ToGbk(code))));
        texts[kUpLimitIndex] = CentsText(limits.up);
        texts[kDownLimitIndex] = CentsText(limits.down);
    } else {
        texts[kChangeIndex] = texts[kUpLimitIndex] = texts[kDownLimitIndex] = QStringLiteral("--");
    }
    const QString prevCloseText = PriceText(prevClose);
    const bool prevCloseChanged = prevCloseText != m_prevCloseText;
    m_prevCloseText = prevCloseText;

    const QString name = FromGbkField(q.name);
    if (name != m_name->text())
        m_name->setText(name);
    for (int i = 0; i < kQuoteControls; ++i)
        SetQuoteText(i, texts[i]);
    if (prevCloseChanged) {
        for (int i = 0; i < kQuoteControls; ++i) {
            if (IsPriceIndex(i))
                UpdatePriceColour(i);
        }
    }

    if (m_price->text().isEmpty()) {
        m_price->setText(ChooseDefaultPrice(texts[4], texts[10]));
    }
    RefreshDayFigures(ToGbk(code));
}

void COrderFormView::RefreshDayFigures(const std::string& code) {
    // The board's row is asked for about once a second, not at the quote timer's pace.
    const auto now = std::chrono::steady_clock::now();
    if (now - m_dayAskedAt >= std::chrono::seconds(1)) {
        m_dayAskedAt = now;
        Context().link.QueryBoardRow(code);
    }
    const std::optional<net::BoardRecord> row = Context().state.market.Row(code);
    const QString none = QStringLiteral("--");
    const QString texts[kDayControls] = {
        row && row->open > 0 ? CentsText(row->open) : none,
        row && row->high > 0 ? CentsText(row->high) : none,
        row && row->low > 0 ? CentsText(row->low) : none,
        row ? QStringLiteral("%1手").arg(row->volume / 100) : none,
    };
    for (int k = 0; k < kDayControls; ++k) {
        if (m_day[k]->text() != texts[k])
            m_day[k]->setText(texts[k]);
    }
}

void COrderFormView::SetQuoteText(int index, const QString& text) {
    QLabel* label = m_quote[index];
    if (label->text() == text)
        return;
    label->setText(text);
    if (IsPriceIndex(index))
        UpdatePriceColour(index);
}

void COrderFormView::UpdatePriceColour(int index) {
    // Green below the previous close; red at or above it and for placeholders.
    const QString text = m_quote[index]->text();
    const double prevClose = NumberOf(m_prevCloseText);
    const bool below = !m_prevCloseText.isEmpty() && prevClose > 0.01 && text.size() > 1 && NumberOf(text) < prevClose;
    const QColor& colour = below ? kGreen : kRed;
    if (m_quoteColour[index] == colour)
        return;
    m_quoteColour[index] = colour;
    if (!m_quoteStale)
        SetTextColour(m_quote[index], colour);
}

void COrderFormView::ShowQuoteAge(bool stale) {
    if (stale == m_quoteStale)
        return;
    m_quoteStale = stale;
    for (int i = 0; i < kQuoteControls; ++i)
        SetTextColour(m_quote[i], stale ? kStaleQuote : m_quoteColour[i]);
}

void COrderFormView::CheckPositionCount() {
    const auto count = static_cast<int>(Context().state.positions.Count(&net::PositionRecord::code));
    if (count != m_positionsPanel->List()->GetItemCount())
        m_positionsPanel->FillPositionList();
}

void COrderFormView::ResetForm() {
    m_code->clear();
    m_name->clear();
    m_price->clear();
    m_amount->clear();
    m_quantity->clear();
    for (int i = 0; i < kQuoteControls; ++i)
        SetQuoteText(i, QStringLiteral("-"));
    for (QLabel* day : m_day)
        day->setText(QStringLiteral("-"));
}

void COrderFormView::OnPriceStep(int delta) {
    const double price = std::min(NumberOf(m_price->text()), kMaxPrice);
    if (delta > 0 && price > 0.01)
        m_price->setText(PriceText(price - 0.01));
    else if (delta < 0)
        m_price->setText(PriceText(std::min(price + 0.01, kMaxPrice)));
}

void COrderFormView::OnQuantityStep(int delta) {
    // Saturating: the up arrow stops at the longest quantity instead of wrapping around.
    const long long quantity = std::min(IntegerOf(m_quantity->text()), kMaxQuantity);
    if (delta > 0 && quantity > 100)
        m_quantity->setText(QString::number(quantity - 100));
    else if (delta < 0)
        m_quantity->setText(QString::number(std::min(quantity, kMaxQuantity - 100) + 100));
}

void COrderFormView::ApplyPreset(int divisor) {
    if (divisor == 100) {
        m_quantity->setText(FullQuantity(m_amount->text()));
        return;
    }
    m_quantity->setText(QString::number(IntegerOf(m_amount->text()) / divisor * 100));
}

void COrderFormView::OnTabChanged(int index) {
    switch (index) {
    case kPositionsTab:
        m_positionsPanel->FillPositionList();
        break;
    case kTradesTab:
        Context().link.QueryTodayTrades();
        m_tradesPanel->FillTradeList();
        break;
    case kOrdersTab:
        Context().link.QueryTodayOrders();
        m_ordersPanel->FillOrderList();
        break;
    default:
        break;
    }
}

void COrderFormView::RefillActiveTab() {
    switch (m_tabs->currentIndex()) {
    case kPositionsTab:
        m_positionsPanel->FillPositionList();
        break;
    case kTradesTab:
        m_tradesPanel->FillTradeList();
        break;
    case kOrdersTab:
        m_ordersPanel->FillOrderList();
        break;
    default:
        break;
    }
}

void COrderFormView::OnRefreshClicked() {
    RunOnce([this] {
        SendRefreshQueries();
        RefillActiveTab();
    });
}

void COrderFormView::OnCancelAll(int command) {
    RunOnce([this, command] { order_cancel::CancelAllOrders(this, Context().link, command, CancelConfirm()); });
}

void COrderFormView::OnCancelSelected() {
    // Works on the orders panel, and only while it is the page shown.
    if (m_tabs->currentIndex() != kOrdersTab)
        return;
    RunOnce([this] {
        order_cancel::CancelSelectedOrder(this, Context().link, *m_ordersPanel->List(), CancelSelectedPrompt(),
                                          CancelConfirm());
    });
}

bool COrderFormView::SendOrder(const QString& code, const QString& price, const QString& quantity, const QString& name,
                               int type) {
    const QString body = QStringLiteral("code=") + code + QStringLiteral("&price=") + price + QStringLiteral("&num=") +
                         quantity + QStringLiteral("&name=") + name + QStringLiteral("&type=") + QString::number(type);
    if (Context().link.SendRequest(net::kCmdOrder, ToGbk(body)))
        return true;
    ShowFailure(this, QStringLiteral("系统错误！"));
    return false;
}

void COrderFormView::OnHistoryTableStored() {
    RefillActiveTab();
}

void COrderFormView::OnRedrawPanels() {
    m_positionsPanel->List()->viewport()->update();
    m_tradesPanel->List()->viewport()->update();
    m_ordersPanel->List()->viewport()->update();
}

void COrderFormView::OnPositionsStored() {
    m_positionsPanel->FillPositionList();
    UpdateAmount();
}

void COrderFormView::OnFundsStored() {
    UpdateAmount();
}

void COrderFormView::OnTodayTradesStored() {
    m_tradesPanel->FillTradeList();
}

void COrderFormView::OnTodayOrdersStored() {
    m_ordersPanel->FillOrderList();
}
