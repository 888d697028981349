#pragma once

#include "controls/TFormView.h"
#include "shell/ClientContext.h"
#include "shell/LockDlg.h"

#include <QMainWindow>
#include <QPointer>
#include <QString>

#include <functional>
#include <string_view>

class CLeftView;
class CMySplitterWnd;
class CStatusPanes;
class QTimer;
struct FunctionEntry;

// The client's main window: the navigation tree and one exchangeable function view side
// by side, the status bar with the account's key figures, the receiver of the trading
// link's notifications, and the lock screen (Ctrl+L).
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

    void SetExitHandler(ExitHandler handler) { m_exit = std::move(handler); }
    void SetLockDialogRunner(LockDialogRunner runner) { m_runLockDialog = std::move(runner); }

    // --- the trading link's notifications (user interface thread) -----------------------
    void OnTableStored(int message);
    void OnOrderReply(std::string_view body);
    void OnPasswordReply(std::string_view body);
    // The server rejected the re-login after a reconnect; `reason` is its text.
    void OnReloginFailed(std::string_view reason);
    void SellPosition(int code) override;

    // --- navigation --------------------------------------------------------------------
    // Records `label` as the current function and shows its view, if it has one.
    void ShowFunction(const QString& label);
    // Puts a new view of `entry` into the right pane unless the pane already shows one of
    // that class. True when the view was replaced.
    bool ReplaceRightView(const FunctionEntry& entry);
    CTFormView* RightView() const { return m_rightView; }
    CLeftView* LeftView() const { return m_leftView; }
    CMySplitterWnd* Splitter() const { return m_wndSplitter; }
    CStatusPanes* Panes() const { return m_wndStatusBar; }
    const QString& CurrentViewLabel() const { return m_currentViewLabel; }

    // --- available funds (every 800 ms) ------------------------------------------------
    void RefreshAvailableFunds();
    // --- the link's state in the last pane (every 500 ms) ------------------------------
    void RefreshLinkPane();

    // --- lock screen -------------------------------------------------------------------
    void Lock();
    bool IsLocked() const { return m_locked; }
    CLockDlg* LockDialog() const { return m_lockDialog; }
    // What an activation of the window does while it is locked.
    void OnLockedActivation();

protected:
    bool event(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    void CreateStatusBar();
    void CreateClientArea();
    void LayoutPanes();
    void QueueLockCheck();
    void RedrawPanels();

    ClientContext& m_context;
    CMySplitterWnd* m_wndSplitter = nullptr;
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
};
