#pragma once

#include "controls/TipDialog.h"

#include <QString>

// The modal failure-message dialog: the message in blue and one OK image button. An empty
// message shows "发送请求失败(-999)".
class CFailDlg final : public CTipDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CFailDlg)
public:
    explicit CFailDlg(QWidget* parent = nullptr);
    void SetMessage(const QString& message);
    QString Message() const { return m_message; }

private:
    QString m_message;
};

// The common way to report a failure or a server answer: a message containing "系统错误"
// is replaced whole by the connection-failure explanation; then CFailDlg runs modally.
void ShowFailure(QWidget* parent, const QString& message);

// The connection-failure explanation that ShowFailure substitutes.
QString ConnectionFailureText();
