#pragma once

#include "core/IniFile.h"

#include <QDialog>
#include <QString>

#include <functional>
#include <string>
#include <string_view>

class CXPButton;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QTimer;
struct ClientContext;

// The login dialog: saved user names from client.ini, the login request, and the answer:
// rejected (the server's message), a different client version (the updater is started
// and the client ends) or accepted (the account data is stored, the initial load runs and
// the dialog closes with Accepted).
class CLoginDlg final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CLoginDlg)
public:
    // Starts `update` (beside the client, else on PATH) with one argument; true when it started.
    using UpdateStarter = std::function<bool(const QString& program, const QString& argument)>;
    // Ends the client with an exit code.
    using ExitHandler = std::function<void(int code)>;

    // `iniPath` is the client.ini to use (see ClientIniLocation); `machineCode` is sent as "yjm".
    CLoginDlg(ClientContext& context, std::string iniPath, std::string machineCode, QWidget* parent = nullptr);
    ~CLoginDlg() override;

    void SetUpdateStarter(UpdateStarter starter) { m_startUpdate = std::move(starter); }
    void SetExitHandler(ExitHandler handler) { m_exit = std::move(handler); }

    // The login attempt of the "登  录" button and the Enter key.
    void OnLogin();
    // The server's answer to the login request (user interface thread).
    void OnLoginReply(std::string_view body);

    // The name box when it is empty, else the password.
    void FocusFirstEmpty();

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void LoadSavedUsers();
    void SaveUserName();
    void StartUpdate(std::string_view commandLine);
    void WaitForInitialLoad();
    void OnAnswerOverdue();
    bool IsEnterPress(QEvent* event) const;

    ClientContext& m_context;
    CIniFile m_ini;
    std::string m_machineCode;
    UpdateStarter m_startUpdate;
    ExitHandler m_exit;
    bool m_started = false;
    bool m_waiting = false; // the initial load is running: no new attempt

    QComboBox* m_user = nullptr;
    QLineEdit* m_password = nullptr;
    CXPButton* m_login = nullptr;
    CXPButton* m_cancel = nullptr;
    QCheckBox* m_saveUser = nullptr;
    // Runs while a login's answer is outstanding; its end tells the user.
    QTimer* m_answerTimer = nullptr;
};
