#include "shell/MainFrame.h"

#include "controls/FailDlg.h"
#include "controls/TFormView.h"
#include "net/Commands.h"
#include "net/GbkText.h"
#include "net/SharedState.h"
#include "net/SplitText.h"
#include "net/TradingLink.h"
#include "shell/Gbk.h"
#include "shell/LeftView.h"
#include "shell/LinkPane.h"
#include "shell/LockDlg.h"
#include "shell/MySplitterWnd.h"
#include "shell/StatusPanes.h"
#include "shell/ViewFactory.h"

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>
#include <QShortcut>
#include <QTimer>
#include <QWindowStateChangeEvent>

namespace {

constexpr int kFundsInterval = 800;
constexpr int kLinkPaneInterval = 500;
constexpr int kLeftPaneWidth = 230;
const QColor kDarkText(0, 4, 20);
const QColor kRed(255, 0, 0);

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
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QSize area = screen->size();
        resize(static_cast<int>(area.width() * 0.75), static_cast<int>(area.height() * 0.7));
    }
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

    auto* lock = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_L), this);
    connect(lock, &QShortcut::activated, this, &CMainFrame::Lock);

    m_context.frame = this;
}

CMainFrame::~CMainFrame() {
    if (m_context.frame == this)
        m_context.frame = nullptr;
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
        {90, state.accountStatus == "0" ? QStringLiteral("正常") : QStringLiteral("冻结"), kRed},
        {200, QString(), kRed},
    };
    for (int i = 0; i < CStatusPanes::kPaneCount; ++i) {
        m_wndStatusBar->SetPaneWidth(i, panes[i].width);
        m_wndStatusBar->SetPaneText(i, panes[i].text);
        m_wndStatusBar->SetPaneColor(i, panes[i].colour);
    }
}

void CMainFrame::CreateClientArea() {
    m_wndSplitter = new CMySplitterWnd(this);
    m_wndSplitter->setObjectName(QStringLiteral("id59648"));
    m_wndSplitter->SetMovable(true);

    m_leftView = new CLeftView(m_wndSplitter);
    m_wndSplitter->addWidget(m_leftView);
    connect(m_leftView, &CLeftView::functionChosen, this, &CMainFrame::ShowFunction);

    // The funds and positions view first; a bare form view until that view exists.
    const FunctionEntry* first = FindFunction(QStringLiteral("资金股票"));
    CTFormView* view = first ? first->create(m_context, m_wndSplitter) : new CTFormView(m_context, m_wndSplitter);
    m_wndSplitter->addWidget(view);
    m_rightView = view;
    m_wndSplitter->setStretchFactor(0, 0);
    m_wndSplitter->setStretchFactor(1, 1);
    m_wndSplitter->setSizes({kLeftPaneWidth, std::max(100, width() - kLeftPaneWidth)});
    setCentralWidget(m_wndSplitter);

    m_leftView->OnInitialUpdate();
    view->OnInitialUpdate();
}

void CMainFrame::ShowFunction(const QString& label) {
    m_currentViewLabel = label;
    if (const FunctionEntry* entry = FindFunction(label))
        ReplaceRightView(*entry);
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
        m_wndSplitter->replaceWidget(m_wndSplitter->indexOf(old), view);
        old->hide();
        // The old view may be the caller (a double-click that opens the sell view).
        old->deleteLater();
    } else {
        m_wndSplitter->addWidget(view);
    }
    m_wndSplitter->setSizes(sizes);
    m_rightView = view;
    view->show();
    if (hadFocus)
        view->setFocus();
    view->OnInitialUpdate();
    return true;
}

void CMainFrame::OnTableStored(int message) {
    CTFormView* view = m_rightView;
    if (!view)
        return;
    if (message == net::kMsgHistoryTableStored) {
        view->OnHistoryTableStored();
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
        if (label.contains(QStringLiteral("当日委托")))
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
    ShowFailure(this, text);
}

void CMainFrame::OnPasswordReply(std::string_view body) {
    if (body == "0") {
        ShowFailure(this, QStringLiteral("密码修改成功,请重新登录系统"));
        m_exit(0);
        return;
    }
    const std::vector<std::string_view> fields = net::SplitText(body, ",");
    if (fields.size() >= 2)
        ShowFailure(this, QStringLiteral("密码修改失败，") + FromGbk(fields[1]));
}

void CMainFrame::OnReloginFailed(std::string_view reason) {
    ShowFailure(this, QStringLiteral("重新登录失败：") + FromGbk(reason));
}

void CMainFrame::RefreshLinkPane() {
    const LinkPaneText pane = DescribeLink(m_context.link.Status());
    m_wndStatusBar->SetPaneText(kPaneSpare, pane.text);
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
}

void CMainFrame::LayoutPanes() {
    if (!m_wndStatusBar)
        return;
    const double w = width();
    const double shares[CStatusPanes::kPaneCount] = {0.16, 0.08, 0.08, 0.08, 0.1, 0.08, 0.4};
    for (int i = 0; i < CStatusPanes::kPaneCount; ++i)
        m_wndStatusBar->SetPaneWidth(i, static_cast<int>(w * shares[i]));
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
    if (event->type() == QEvent::WindowActivate) {
        // A locked window is kept minimised; an activation that reaches it while minimised
        // belongs to the restore, which the state change handles.
        if (!m_locked)
            RedrawPanels();
        else if (!(windowState() & Qt::WindowMinimized))
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
    m_locked = true;
    showMinimized();
}

void CMainFrame::QueueLockCheck() {
    // Restoring a window activates it as well: one check for both.
    if (m_lockCheckQueued)
        return;
    m_lockCheckQueued = true;
    QTimer::singleShot(0, this, [this] {
        m_lockCheckQueued = false;
        // Late echoes of our own minimising find the window minimised again: not a restore.
        if (!(windowState() & Qt::WindowMinimized))
            OnLockedActivation();
    });
}

void CMainFrame::OnLockedActivation() {
    if (!m_locked)
        return;
    showMinimized();
    if (m_lockDialogShown && m_lockDialog) {
        m_lockDialog->raise();
        m_lockDialog->activateWindow();
        return;
    }
    // No parent: a dialog owned by the minimised window would be hidden with it.
    CLockDlg dialog(m_context);
    m_lockDialog = &dialog;
    m_lockDialogShown = true;
    QPointer<CMainFrame> self(this);
    const int result = m_runLockDialog(dialog);
    if (!self)
        return;
    m_lockDialogShown = false;
    m_lockDialog = nullptr;
    if (result == QDialog::Accepted) {
        m_locked = false;
        setWindowState(windowState() & ~Qt::WindowMinimized);
        show();
        raise();
        activateWindow();
    } else {
        m_locked = true;
    }
}
