#pragma once

#include <QDialog>
#include <QPoint>
#include <QString>

class CTStatic;

// The modal failure-message dialog: a borderless popup with a painted background that
// carries its own title strip (提示), a blue message and one OK image button; it can be
// dragged by its surface. An empty message shows "发送请求失败(-999)".
class CFailDlg final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CFailDlg)
public:
    explicit CFailDlg(QWidget* parent = nullptr);
    void SetMessage(const QString& message);
    QString Message() const { return m_message; }
    int exec() override; // answered by the modal hook when one is installed

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    QString m_message;
    CTStatic* m_text = nullptr;
    QPoint m_dragOffset;
};

// The common way to report a failure or a server answer: a message containing "系统错误"
// is replaced whole by the connection-failure explanation; then CFailDlg runs modally.
void ShowFailure(QWidget* parent, const QString& message);

// The connection-failure explanation that ShowFailure substitutes.
QString ConnectionFailureText();
