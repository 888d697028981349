#pragma once

#include "core/ClientContext.h"
#include "core/TFormView.h"
#include "shell/FillNotices.h"
#include "shell/LockDlg.h"

#include <QDeadlineTimer>
#include <QMainWindow>
#include <QPointer>
#include <QString>

#include <chrono>
#include <functional>
#include <string_view>
#include <vector>

class CCodeLookup;
class CLeftView;
class CLockCover;
class QAction;
class QScrollArea;
class CMySplitterWnd;
class CStatusPanes;
class QTimer;
struct FunctionEntry;

// The client's main window: the navigation tree and one exchangeable function view side
// by side, the status bar with the account's key figures, the receiver of the trading
// link's notifications, the function keys (F1–F5) and the lock screen (Ctrl+L, the tree's
// and the status bar's context menus, or an idle time).
class CMainFrame final : public QMainWindow, public MainFrameHooks {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CMainFrame)
public:
    using ExitHandler = std::function<void(int code)>;
    // Runs the lock dialog modally and returns its result.
    using LockDialogRunner = std::function<int(CLockDlg& dialog)>;

    enum Pane { kPaneProduct, kPaneUser, kPaneLoginInfo, kPaneFundsLabel, kPaneFunds, kPaneStatus, kPaneSpare };

    explicit CMainFrame(ClientContext& context, QWidget* parent = nullptr);
    ~CMainFrame() override;
    // The window's size before it is maximised, on a screen of `screen` (logical pixels).
    static QSize InitialSize(QSize screen, QSize available);

    void SetExitHandler(ExitHandler handler) { m_exit = std::move(handler); }
    void SetLockDialogRunner(LockDialogRunner runner) { m_runLockDialog = std::move(runner); }

    // --- the trading link's notifications (user interface thread) -----------------------
    void OnTableStored(int message);
    void OnOrderReply(std::string_view body);
    void OnCancelReply(std::string_view body);
    void OnPasswordReply(std::string_view body);
    // The server rejected the re-login after a reconnect; `reason` is its text.
    void OnReloginFailed(std::string_view reason);
    // An order or cancel was unanswered when the link broke; the link refreshes the lists.
    void OnOrderResultUnknown();
    void SellPosition(int code) override;
    void OpenChart(const QString& code) override;
    void OpenOrderForm(bool buy, const QString& code) override;
    // The lookup that typing a code or name outside an edit opens.
    CCodeLookup* Lookup() const { return m_lookup; }
    // Opens the lookup with `typed`; Enter fills an open order form's code, adds to an open
    // watchlist, or opens the chart.
    void OpenLookup(const QString& typed);

    // --- navigation --------------------------------------------------------------------
    // Records `label` as the current function and shows its view, if it has one.
    void ShowFunction(const QString& label);
    // Puts a new view of `entry` into the right pane unless the pane already shows one of
    // that class. True when the view was replaced.
    bool ReplaceRightView(const FunctionEntry& entry);
    // What F1–F4 do: the tree's highlight moves to `label` and its function opens.
    void ChooseFunction(const QString& label);
    // F5: the current view's refresh (its refresh or query button where it has one).
    void RefreshCurrentView();
    CTFormView* RightView() const { return m_rightView; }
    CLeftView* LeftView() const { return m_leftView; }
    CMySplitterWnd* Splitter() const { return m_wndSplitter; }
    QScrollArea* RightPane() const { return m_rightPane; }
    CStatusPanes* Panes() const { return m_wndStatusBar; }
    const QString& CurrentViewLabel() const { return m_currentViewLabel; }

    // --- available funds (every 800 ms) ------------------------------------------------
    void RefreshAvailableFunds();
    // Pane 5 from an account status text ("0" normal, another text frozen; empty: unknown).
    void ShowAccountStatus(std::string_view status);

    // --- the link's state in the last pane (every 500 ms) ------------------------------
    void RefreshLinkPane();
    // A short word for the contestant (a fill), shown before the link's state for a while;
    // it never blocks trading as a dialog would.
    void ShowNotice(const QString& text);
    QString Notice() const;

    // --- lock screen -------------------------------------------------------------------
    // Hides the window's content behind the lock cover and asks for the password at once.
    void Lock();
    bool IsLocked() const { return m_locked; }
    CLockDlg* LockDialog() const { return m_lockDialog; }
    CLockCover* LockCover() const { return m_cover; }
    QAction* LockAction() const { return m_lockAction; }
    // What an activation of the window does while it is locked: the lock dialog, or the
    // open one brought to the front.
    void OnLockedActivation();
    // Locks after `idle` without keyboard or mouse input; zero switches it off.
    void SetAutoLock(std::chrono::milliseconds idle);
    // The idle time of client.ini ("[lock] idleminutes", 0 or missing: off).
    static std::chrono::milliseconds AutoLockFromIni(const std::string& iniPath);

protected:
    bool event(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateShortcuts();
    void Unlock();
    // Runs `show` now, or after the unlock while the window is locked: an answer must
    // neither show through the lock nor stand in front of the lock dialog.
    void ShowWhenUnlocked(std::function<void()> show);
    void CreateStatusBar();
    void CreateClientArea();
    void LayoutPanes();
    void QueueLockCheck();
    void RedrawPanels();
    // Gives every list of `view` that shows codes the context menu item 加入自选股.
    void AddWatchlistActions(QWidget* view);
    bool IsTypingForLookup(QObject* watched, QEvent* event) const;

    ClientContext& m_context;
    CMySplitterWnd* m_wndSplitter = nullptr;
    QScrollArea* m_rightPane = nullptr; // holds the function view; scrolls a view larger than the pane
    CStatusPanes* m_wndStatusBar = nullptr;
    CLeftView* m_leftView = nullptr;
    QPointer<CTFormView> m_rightView;
    QString m_currentViewLabel;
    QTimer* m_fundsTimer = nullptr;
    QTimer* m_linkTimer = nullptr;
    ExitHandler m_exit;
    LockDialogRunner m_runLockDialog;

    bool m_locked = false;
    bool m_lockDialogShown = false;
    bool m_lockCheckQueued = false;
    QPointer<CLockDlg> m_lockDialog;
    CLockCover* m_cover = nullptr;
    QAction* m_lockAction = nullptr;
    QTimer* m_idleTimer = nullptr;
    std::vector<std::function<void()>> m_deferred;
    CCodeLookup* m_lookup = nullptr;
    CFillNotices m_fills;
    QString m_notice;
    QDeadlineTimer m_noticeUntil;
};
