#pragma once

#include <QDialog>
#include <QPoint>
#include <QString>

class CTStatic;

// The confirmation dialog with the failure dialog's look: OK (是) accepts; Cancel (否),
// Esc and closing reject. exec() returns QDialog::Accepted or QDialog::Rejected.
class CYesNoTipDlg final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CYesNoTipDlg)
public:
    explicit CYesNoTipDlg(QWidget* parent = nullptr);
    void SetMessage(const QString& message);
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
