#include "shell/MainFrame.h"

#include "account/ListCtrlCl.h"
#include "controls/FailDlg.h"
#include "core/Gbk.h"
#include "core/IniFile.h"
#include "core/TFormView.h"
#include "market/ChartView.h"
#include "market/CodeLookup.h"
#include "market/QuoteListView.h"
#include "market/Watchlist.h"
#include "net/SharedState.h"
#include "net/TradingLink.h"
#include "shell/LeftView.h"
#include "shell/LinkPane.h"
#include "shell/LockCover.h"
#include "shell/LockDlg.h"
#include "shell/LockedDialogs.h"
#include "shell/MySplitterWnd.h"
#include "shell/StatusPanes.h"
#include "shell/ViewFactory.h"
#include "trade/OrderFormView.h"
#include "wire/Commands.h"
#include "wire/GbkText.h"
#include "wire/SplitText.h"

#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QTextEdit>
#include <QTimer>
#include <QTreeWidget>
#include <QWindowStateChangeEvent>

namespace {

constexpr int kFundsInterval = 800;
constexpr int kLinkPaneInterval = 500;
constexpr int kLeftPaneWidth = 230;
constexpr QSize kComfortableSize(960, 640);
constexpr int kFormsWidth = 700; // an order form's least width and the splitter's handle
const QColor kDarkText(0, 4, 20);
const QColor kRed(255, 0, 0);
constexpr std::chrono::seconds kNoticeShown{20};

// A control of `view` named `name` (an edit, or the edit of a combo box) gets `text`.
void SetControlText(QWidget* view, const QString& name, const QString& text) {
    if (auto* edit = view->findChild<QLineEdit*>(name)) {
        edit->setText(text);
    } else if (auto* combo = view->findChild<QComboBox*>(name)) {
        combo->setEditText(text);
    }
}

} // namespace

CMainFrame::CMainFrame(ClientContext& context, QWidget* parent)
    : QMainWindow(parent)
    , m_context(context) {
    setWindowTitle(QStringLiteral("Quorvex"));
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        resize(InitialSize(screen->size(), screen->availableGeometry().size()));
    m_currentViewLabel = QStringLiteral("资金股票");
    m_exit = [](int code) { QCoreApplication::exit(code); };
    m_runLockDialog = [](CLockDlg& dialog) { return dialog.exec(); };

    CreateStatusBar();
    CreateClientArea();

    m_fundsTimer = new QTimer(this);
    m_fundsTimer->setInterval(kFundsInterval);
    connect(m_fundsTimer, &QTimer::timeout, this, &CMainFrame::RefreshAvailableFunds);
    m_fundsTimer->start();

    m_linkTimer = new QTimer(this);
    m_linkTimer->setInterval(kLinkPaneInterval);
    connect(m_linkTimer, &QTimer::timeout, this, &CMainFrame::RefreshLinkPane);
    m_linkTimer->start();
    RefreshLinkPane();

    m_cover = new CLockCover(this);
    m_cover->hide();
    connect(m_cover, &CLockCover::unlockRequested, this, &CMainFrame::QueueLockCheck);
    m_idleTimer = new QTimer(this);
    m_idleTimer->setSingleShot(true);
    connect(m_idleTimer, &QTimer::timeout, this, [this] {
        if (!m_locked)
            Lock();
    });
    CreateShortcuts();

    // Letters and digits typed outside an edit open the lookup.
    m_lookup = new CCodeLookup(m_context, this);
    qApp->installEventFilter(this);

    m_context.frame = this;
}

QSize CMainFrame::InitialSize(QSize screen, QSize available) {
    // Three quarters across and 70 % down the screen, but as large as the order forms need
    // where the screen (or its scale factor) leaves less, and never beyond it: a window
    // manager may not be there to maximise the window.
    const QSize wanted(std::max(static_cast<int>(screen.width() * 0.75), kComfortableSize.width()),
                       std::max(static_cast<int>(screen.height() * 0.7), kComfortableSize.height()));
    return wanted.boundedTo(available);
}

CMainFrame::~CMainFrame() {
    if (m_context.frame == this)
        m_context.frame = nullptr;
}

void CMainFrame::CreateShortcuts() {
    auto* lock = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_L), this);
    connect(lock, &QShortcut::activated, this, &CMainFrame::Lock);
    // The lock where people look for it: the context menus of the tree and the status bar.
    m_lockAction = new QAction(QStringLiteral("锁定交易终端(Ctrl+L)"), this);
    m_lockAction->setObjectName(QStringLiteral("lockAction"));
    connect(m_lockAction, &QAction::triggered, this, &CMainFrame::Lock);
    for (QWidget* w : {static_cast<QWidget*>(m_leftView->Tree()), static_cast<QWidget*>(m_wndStatusBar)}) {
        w->setContextMenuPolicy(Qt::ActionsContextMenu);
        w->addAction(m_lockAction);
    }

    // The keys that the tree's labels print, from anywhere in the window.
    const struct {
        Qt::Key key;
        const char16_t* label;
    } keys[] = {{Qt::Key_F1, u"买入[F1]"},
                {Qt::Key_F2, u"卖出[F2]"},
                {Qt::Key_F3, u"撤单[F3]"},
                {Qt::Key_F4, u"资金股票"},
                {Qt::Key_F6, u"大赛排名[F6]"}};
    for (const auto& k : keys) {
        auto* shortcut = new QShortcut(QKeySequence(k.key), this);
        const QString label = QString::fromUtf16(k.label);
        connect(shortcut, &QShortcut::activated, this, [this, label] { ChooseFunction(label); });
    }
    auto* refresh = new QShortcut(QKeySequence(Qt::Key_F5), this);
    connect(refresh, &QShortcut::activated, this, &CMainFrame::RefreshCurrentView);
}

void CMainFrame::ChooseFunction(const QString& label) {
    if (m_locked)
        return;
    m_leftView->Choose(label);
}

void CMainFrame::RefreshCurrentView() {
    if (m_locked)
        return;
    if (CTFormView* view = m_rightView)
        view->OnRefreshKey();
}

void CMainFrame::CreateStatusBar() {
    const net::SharedState& state = m_context.state;
    m_wndStatusBar = new CStatusPanes(this);
    m_wndStatusBar->setObjectName(QStringLiteral("id59393"));
    m_wndStatusBar->setToolTip(QStringLiteral("Ctrl+L 锁定交易终端"));
    setStatusBar(m_wndStatusBar);

    struct Initial {
        int width;
        QString text;
        QColor colour;
    };
    const Initial panes[CStatusPanes::kPaneCount] = {
        {190, QStringLiteral("Quorvex"), kDarkText},
        {70, FromGbk(state.credentials.CurrentUser()), QColor()},
        {70, FromGbk(state.loginInfoText), kDarkText},
        {70, QStringLiteral("可用金额"), QColor()},
        {130, FromGbk(state.availableFundsText) + QStringLiteral("元"), kRed},
        {90, state.accountStatus == "0" ? QStringLiteral("正常") : QStringLiteral("冻结"),
         state.accountStatus == "0" ? kDarkText : kRed},
        {200, QString(), kRed},
    };
    for (int i = 0; i < CStatusPanes::kPaneCount; ++i) {
        m_wndStatusBar->SetPaneWidth(i, panes[i].width);
        m_wndStatusBar->SetPaneText(i, panes[i].text);
        m_wndStatusBar->SetPaneColor(i, panes[i].colour);
    }
    connect(m_wndStatusBar, &CStatusPanes::textOutgrown, this, &CMainFrame::LayoutPanes);
}

void CMainFrame::CreateClientArea() {
    m_wndSplitter = new CMySplitterWnd(this);
    m_wndSplitter->setObjectName(QStringLiteral("id59648"));
    m_wndSplitter->SetMovable(true);

    m_leftView = new CLeftView(m_wndSplitter);
    m_wndSplitter->addWidget(m_leftView);
    connect(m_leftView, &CLeftView::functionChosen, this, &CMainFrame::ShowFunction);

    // The right pane scrolls a view that does not fit; the tree keeps its width.
    m_rightPane = new QScrollArea(m_wndSplitter);
    m_rightPane->setObjectName(QStringLiteral("rightPane"));
    m_rightPane->setWidgetResizable(true);
    m_rightPane->setFrameShape(QFrame::NoFrame);
    m_wndSplitter->addWidget(m_rightPane);

    // The funds and positions view first; a bare form view until that view exists.
    const FunctionEntry* first = FindFunction(QStringLiteral("资金股票"));
    CTFormView* view = first ? first->create(m_context, nullptr) : new CTFormView(m_context, nullptr);
    m_rightPane->setWidget(view);
    m_rightView = view;
    m_wndSplitter->setStretchFactor(0, 0);
    m_wndSplitter->setStretchFactor(1, 1);
    setCentralWidget(m_wndSplitter);

    m_leftView->OnInitialUpdate();
    // The tree takes its usual width where the order forms beside it keep theirs; a narrower
    // window narrows it, down to what its labels need.
    const QAbstractItemView* tree = m_leftView->Tree();
    const int labels =
        tree->sizeHintForColumn(0) + 2 * tree->frameWidth() + tree->verticalScrollBar()->sizeHint().width();
    const int left = std::clamp(width() - kFormsWidth, std::min(labels, kLeftPaneWidth), kLeftPaneWidth);
    m_wndSplitter->setSizes({left, std::max(100, width() - left)});
    view->OnInitialUpdate();
    // After the initial update: some views make their lists' columns there.
    AddWatchlistActions(view);
}

void CMainFrame::ShowFunction(const QString& label) {
    m_currentViewLabel = label;
    const FunctionEntry* entry = FindFunction(label);
    if (!entry)
        return;
    // A form opened by a click, Enter or a function key takes the focus (its first field);
    // one opened by moving the tree's highlight leaves the focus in the tree. A form chosen
    // again while open (F1 after an order) goes back to its first field, selected, so that
    // typing starts the next order there.
    const bool replaced = ReplaceRightView(*entry);
    CTFormView* view = m_rightView;
    if (!view || m_leftView->ChoosingByArrow())
        return;
    if (replaced) {
        view->setFocus(Qt::OtherFocusReason);
    } else if (view->isAncestorOf(QApplication::focusWidget())) {
        view->setFocus(Qt::OtherFocusReason);
        if (auto* first = qobject_cast<QLineEdit*>(QApplication::focusWidget()))
            first->selectAll();
    }
}

bool CMainFrame::ReplaceRightView(const FunctionEntry& entry) {
    CTFormView* old = m_rightView;
    if (old && old->metaObject()->inherits(entry.viewClass))
        return false;
    const bool hadFocus = old && old->isAncestorOf(QApplication::focusWidget());
    // Made without a parent: a child of the splitter would join it as a third pane.
    CTFormView* view = entry.create(m_context, nullptr);
    if (!view)
        return false;
    const QList<int> sizes = m_wndSplitter->sizes();
    if (old) {
        // Taken out of the pane first: the old view may be the caller (a double-click that
        // opens the sell view).
        m_rightPane->takeWidget();
        old->hide();
        old->deleteLater();
    }
    m_rightPane->setWidget(view);
    m_wndSplitter->setSizes(sizes);
    m_rightView = view;
    view->show();
    if (hadFocus)
        view->setFocus();
    view->OnInitialUpdate();
    AddWatchlistActions(view);
    return true;
}

void CMainFrame::OnTableStored(int message) {
    if (message == net::kMsgTodayTradesStored) {
        const QStringList fills = m_fills.Take(m_context.state.todayTrades.Rows(&net::TradeRecord::code));
        if (!fills.isEmpty())
            ShowNotice(fills.join(QStringLiteral("；")));
    }
    if (message == net::kMsgFundsStored) {
        RefreshAvailableFunds();
        const net::FundsRecord funds = m_context.state.funds.Get();
        ShowAccountStatus(net::FieldText(funds.accountStatus));
    }
    CTFormView* view = m_rightView;
    if (!view)
        return;
    if (message == net::kMsgFundsStored) {
        view->OnFundsStored();
        return;
    }
    if (message == net::kMsgHistoryTableStored) {
        view->OnHistoryTableStored();
        return;
    }
    if (message == net::kMsgStandingStored) {
        view->OnStandingStored();
        return;
    }
    const QString& label = m_currentViewLabel;
    // Three independent tests: the buy and sell views hold panels of all three tables.
    const bool buy = label.contains(QStringLiteral("买入"));
    const bool sell = label.contains(QStringLiteral("卖出"));
    switch (message) {
    case net::kMsgPositionsStored:
        if (buy)
            view->OnPositionsStored();
        if (sell)
            view->OnPositionsStored();
        if (label.contains(QStringLiteral("资金股票")))
            view->OnPositionsStored();
        break;
    case net::kMsgTodayTradesStored:
        if (buy)
            view->OnTodayTradesStored();
        if (sell)
            view->OnTodayTradesStored();
        if (label.contains(QStringLiteral("当日成交")))
            view->OnTodayTradesStored();
        break;
    case net::kMsgTodayOrdersStored:
        if (buy)
            view->OnTodayOrdersStored();
        if (sell)
            view->OnTodayOrdersStored();
        if (label.contains(QStringLiteral("当日委托")) || label.contains(QStringLiteral("撤单")))
            view->OnTodayOrdersStored();
        break;
    default:
        break;
    }
}

void CMainFrame::SellPosition(int code) {
    const QString codeText = QString::asprintf("%06d", code);
    if (!m_leftView->HasSelection())
        return;
    const FunctionEntry* sell = FindFunction(QStringLiteral("卖出[F2]"));
    if (!sell)
        return;
    ReplaceRightView(*sell);
    if (CTFormView* view = m_rightView) {
        SetControlText(view, QStringLiteral("id1007"), QString());
        SetControlText(view, QStringLiteral("id1002"), codeText);
    }
    m_currentViewLabel = QStringLiteral("卖出[F2]");
    // The highlight follows the pane, so that it never names another function.
    m_leftView->Highlight(m_currentViewLabel);
}

void CMainFrame::OnOrderReply(std::string_view body) {
    if (body == "0")
        return;
    const std::vector<std::string_view> fields = net::SplitText(body, ",");
    if (fields.size() < 2)
        return;
    const QString text = FromGbk(fields[1]);
    if (fields[0] == "0")
        m_context.link.StartRefreshAll(); // the refresh goes out while the answer is shown
    else
        m_context.link.QueryFunds(); // a refusal may come from a frozen account: the status follows
    ShowWhenUnlocked([this, text] { ShowFailure(this, text); });
}

void CMainFrame::OnCancelReply(std::string_view body) {
    const std::vector<std::string_view> fields = net::SplitText(body, ",");
    // Whatever the verdict, the orders, funds and positions on screen may be stale now.
    m_context.link.StartRefreshAll();
    if (fields.size() >= 2 && fields[0] != "0")
        ShowWhenUnlocked([this, text = FromGbk(fields[1])] { ShowFailure(this, text); });
}

void CMainFrame::ShowAccountStatus(std::string_view status) {
    if (status.empty())
        return;
    m_context.state.accountStatus = std::string(status);
    // Red is for trouble: a frozen account.
    m_wndStatusBar->SetPaneText(kPaneStatus, status == "0" ? QStringLiteral("正常") : QStringLiteral("冻结"));
    m_wndStatusBar->SetPaneColor(kPaneStatus, status == "0" ? kDarkText : kRed);
}

void CMainFrame::OnPasswordReply(std::string_view body) {
    if (body == "0") {
        ShowWhenUnlocked([this] {
            ShowFailure(this, QStringLiteral("密码修改成功,请重新登录系统"));
            m_exit(0);
        });
        return;
    }
    const std::vector<std::string_view> fields = net::SplitText(body, ",");
    if (fields.size() >= 2) {
        const QString text = QStringLiteral("密码修改失败，") + FromGbk(fields[1]);
        ShowWhenUnlocked([this, text] { ShowFailure(this, text); });
    }
}

void CMainFrame::ShowWhenUnlocked(std::function<void()> show) {
    if (m_locked)
        m_deferred.push_back(std::move(show));
    else
        show();
}

void CMainFrame::OnOrderResultUnknown() {
    ShowWhenUnlocked([this] { ShowFailure(this, QStringLiteral("委托结果未知，请查看当日委托")); });
}

void CMainFrame::OnReloginFailed(std::string_view reason) {
    ShowFailure(this, QStringLiteral("重新登录失败：") + FromGbk(reason));
}

void CMainFrame::ShowNotice(const QString& text) {
    m_notice = text;
    m_noticeUntil.setRemainingTime(kNoticeShown);
    RefreshLinkPane();
}

QString CMainFrame::Notice() const {
    return m_noticeUntil.hasExpired() ? QString() : m_notice;
}

void CMainFrame::RefreshLinkPane() {
    const LinkPaneText pane = DescribeLink(m_context.link.Status());
    const QString notice = Notice();
    m_wndStatusBar->SetPaneText(kPaneSpare, notice.isEmpty() ? pane.text : notice + QStringLiteral("  ") + pane.text);
    const QColor colour = pane.alarm ? kRed : kDarkText;
    if (m_wndStatusBar->PaneColor(kPaneSpare) != colour)
        m_wndStatusBar->SetPaneColor(kPaneSpare, colour);
}

void CMainFrame::RefreshAvailableFunds() {
    const net::FundsRecord funds = m_context.state.funds.Get();
    const std::string_view available = net::FieldText(funds.availableFunds);
    m_wndStatusBar->SetPaneText(kPaneFunds, FromGbk(available) + QStringLiteral("元"));
    m_context.state.availableFundsText = std::string(available);
}

void CMainFrame::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    LayoutPanes();
    if (m_cover)
        m_cover->setGeometry(rect());
}

void CMainFrame::LayoutPanes() {
    if (!m_wndStatusBar)
        return;
    // Each pane its share of the width, widened to show its text whole; the room that takes
    // comes from the welcome text's pane first, then from the link's, which then ends in "…".
    const double w = width();
    const double shares[CStatusPanes::kPaneCount] = {0.16, 0.08, 0.08, 0.08, 0.1, 0.08, 0.4};
    int widths[CStatusPanes::kPaneCount];
    int total = 0;
    for (int i = 0; i < CStatusPanes::kPaneCount; ++i) {
        widths[i] = std::max(static_cast<int>(w * shares[i]), m_wndStatusBar->NeededWidth(i));
        total += widths[i];
    }
    const int room = width() - 2 * CStatusPanes::kPaneCount; // less the gaps between the panes
    for (const int giving : {int(kPaneProduct), int(kPaneSpare)}) {
        const int excess = total - room;
        if (excess <= 0)
            break;
        const int given = std::min(excess, widths[giving] - std::min(widths[giving], int(w * shares[giving] / 4)));
        widths[giving] -= given;
        total -= given;
    }
    for (int i = 0; i < CStatusPanes::kPaneCount; ++i)
        m_wndStatusBar->SetPaneWidth(i, widths[i]);
}

void CMainFrame::focusInEvent(QFocusEvent* event) {
    QMainWindow::focusInEvent(event);
    RedrawPanels();
}

void CMainFrame::RedrawPanels() {
    if (CTFormView* view = m_rightView)
        view->OnRedrawPanels();
}

bool CMainFrame::event(QEvent* event) {
    // While locked the cover answers clicks and keys; an activation only brings an open
    // lock dialog forward.
    if (event->type() == QEvent::WindowActivate) {
        if (!m_locked)
            RedrawPanels();
        else if (m_lockDialogShown && m_lockDialog)
            QueueLockCheck();
    }
    return QMainWindow::event(event);
}

void CMainFrame::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || !m_locked)
        return;
    const auto* change = static_cast<QWindowStateChangeEvent*>(event);
    const bool restored = (change->oldState() & Qt::WindowMinimized) && !(windowState() & Qt::WindowMinimized);
    if (restored)
        QueueLockCheck();
}

void CMainFrame::Lock() {
    if (!m_locked) {
        m_locked = true;
        m_idleTimer->stop();
        // The messages that were open come back after the unlock, before what arrived since.
        auto again = CloseDialogsForLock(this, m_lockDialog);
        m_deferred.insert(m_deferred.begin(), std::make_move_iterator(again.begin()),
                          std::make_move_iterator(again.end()));
        // Hidden, not only covered: nothing behind the cover keeps the focus or a shortcut.
        m_wndSplitter->hide();
        m_wndStatusBar->hide();
        m_cover->setGeometry(rect());
        m_cover->show();
        m_cover->raise();
        m_cover->setFocus();
    }
    QueueLockCheck();
}

void CMainFrame::Unlock() {
    m_locked = false;
    m_cover->hide();
    m_wndSplitter->show();
    m_wndStatusBar->show();
    if (m_idleTimer->interval() > 0)
        m_idleTimer->start();
    if (CTFormView* view = m_rightView)
        view->setFocus();
    // The answers that arrived while locked, in their order.
    std::vector<std::function<void()>> deferred;
    deferred.swap(m_deferred);
    const QPointer<CMainFrame> self(this);
    for (auto& show : deferred) {
        show();
        if (!self)
            return;
    }
}

void CMainFrame::QueueLockCheck() {
    // Restoring a window activates it as well: one check for both.
    if (m_lockCheckQueued)
        return;
    m_lockCheckQueued = true;
    QTimer::singleShot(0, this, [this] {
        m_lockCheckQueued = false;
        OnLockedActivation();
    });
}

void CMainFrame::OnLockedActivation() {
    if (!m_locked)
        return;
    // A minimised window would take its dialog with it; the cover keeps the content hidden.
    if (windowState() & Qt::WindowMinimized)
        setWindowState(windowState() & ~Qt::WindowMinimized);
    if (m_lockDialogShown && m_lockDialog) {
        m_lockDialog->raise();
        m_lockDialog->activateWindow();
        return;
    }
    CLockDlg dialog(m_context, this);
    // Below the cover's text and button, centred across the window.
    const int top = m_cover->ReserveBelow(dialog.height());
    dialog.move(mapToGlobal(QPoint((width() - dialog.width()) / 2, top)));
    m_lockDialog = &dialog;
    m_lockDialogShown = true;
    QPointer<CMainFrame> self(this);
    const int result = m_runLockDialog(dialog);
    if (!self)
        return;
    m_lockDialogShown = false;
    m_lockDialog = nullptr;
    if (result == QDialog::Accepted) {
        Unlock();
        raise();
        activateWindow();
    } else {
        activateWindow();
        m_cover->setFocus();
    }
}

void CMainFrame::SetAutoLock(std::chrono::milliseconds idle) {
    const auto ms = static_cast<int>(std::clamp<long long>(idle.count(), 0, 24LL * 3600 * 1000));
    m_idleTimer->setInterval(ms);
    if (ms <= 0) {
        m_idleTimer->stop();
        return;
    }
    if (!m_locked)
        m_idleTimer->start();
}

std::chrono::milliseconds CMainFrame::AutoLockFromIni(const std::string& iniPath) {
    const int minutes = CIniFile(iniPath).ReadInt("lock", "idleminutes", 0);
    return std::chrono::minutes(std::clamp(minutes, 0, 24 * 60));
}

bool CMainFrame::IsTypingForLookup(QObject* watched, QEvent* event) const {
    if (event->type() != QEvent::KeyPress || m_locked || !isActiveWindow())
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    const QString text = key->text();
    if (text.size() != 1 ||
        !(text[0].isDigit() || (text[0].toLatin1() >= 'A' && text[0].toLatin1() <= 'z' && text[0].isLetter())))
        return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != this || widget != QApplication::focusWidget())
        return false;
    // Typing into an edit stays in the edit.
    if (qobject_cast<QLineEdit*>(widget) || qobject_cast<QAbstractSpinBox*>(widget) ||
        qobject_cast<QTextEdit*>(widget) || qobject_cast<QPlainTextEdit*>(widget))
        return false;
    if (auto* combo = qobject_cast<QComboBox*>(widget); combo && combo->isEditable())
        return false;
    return true;
}

void CMainFrame::OpenLookup(const QString& typed) {
    m_lookup->Open(typed, [this](const QString& code) {
        CTFormView* view = m_rightView;
        if (auto* form = qobject_cast<COrderFormView*>(view)) {
            SetControlText(form, QStringLiteral("id1002"), code);
            form->setFocus();
        } else if (auto* watch = qobject_cast<CWatchlistView*>(view)) {
            watch->AddCode(code);
        } else {
            OpenChart(code);
        }
    });
}

void CMainFrame::OpenChart(const QString& code) {
    if (m_locked)
        return;
    const FunctionEntry* entry = FindFunction(QStringLiteral("走势图"));
    if (!entry)
        return;
    ReplaceRightView(*entry);
    m_currentViewLabel = QStringLiteral("走势图");
    if (auto* chart = qobject_cast<CChartView*>(m_rightView.data())) {
        chart->SetCode(code);
        chart->setFocus();
    }
}

void CMainFrame::OpenOrderForm(bool buy, const QString& code) {
    if (m_locked)
        return;
    const QString label = buy ? QStringLiteral("买入[F1]") : QStringLiteral("卖出[F2]");
    ChooseFunction(label);
    if (CTFormView* view = m_rightView; view && !code.isEmpty()) {
        SetControlText(view, QStringLiteral("id1007"), QString());
        SetControlText(view, QStringLiteral("id1002"), code);
        view->setFocus();
    }
}

void CMainFrame::AddWatchlistActions(QWidget* view) {
    for (CListCtrlCl* list : view->findChildren<CListCtrlCl*>()) {
        int codeColumn = -1;
        for (int c = 0; c < list->columnCount(); ++c) {
            const QTableWidgetItem* title = list->horizontalHeaderItem(c);
            // 证券代码, 代码, and the positions' 证劵代码.
            if (title && title->text().endsWith(QStringLiteral("代码")))
                codeColumn = c;
        }
        if (codeColumn < 0)
            continue;
        auto* add = new QAction(QStringLiteral("加入自选股"), list);
        add->setObjectName(QStringLiteral("addToWatchlist"));
        connect(add, &QAction::triggered, this, [this, list, codeColumn] {
            const int row = list->currentRow();
            const QString code = row >= 0 ? list->GetItemText(row, codeColumn).trimmed() : QString();
            if (!code.isEmpty() && !m_context.iniPath.empty())
                watchlist::Add(m_context.iniPath, m_context.state.credentials.CurrentUser(), ToGbk(code));
        });
        list->addAction(add);
        if (list->contextMenuPolicy() == Qt::DefaultContextMenu)
            list->setContextMenuPolicy(Qt::ActionsContextMenu);
    }
    // The quote board: the selected security.
    if (auto* quotes = qobject_cast<CQuoteListView*>(view); quotes && !qobject_cast<CWatchlistView*>(view)) {
        auto* add = new QAction(QStringLiteral("加入自选股(Insert)"), quotes->Table());
        add->setObjectName(QStringLiteral("addToWatchlist"));
        connect(add, &QAction::triggered, this, [this, quotes] {
            const QString code = quotes->SelectedCode();
            if (!code.isEmpty() && !m_context.iniPath.empty())
                watchlist::Add(m_context.iniPath, m_context.state.credentials.CurrentUser(), ToGbk(code));
        });
        quotes->Table()->addAction(add);
        quotes->Table()->setContextMenuPolicy(Qt::ActionsContextMenu);
    }
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
    if (IsTypingForLookup(watched, event)) {
        OpenLookup(static_cast<QKeyEvent*>(event)->text());
        return true;
    }
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseMove:
    case QEvent::Wheel:
        if (!m_locked && m_idleTimer->interval() > 0)
            m_idleTimer->start();
        break;
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, event);
}
