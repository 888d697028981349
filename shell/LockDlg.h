#pragma once

#include <QDialog>

class CTEdit;
class CXPButton;
struct ClientContext;

// Asks for the trading password of the current login while the main window is locked.
// The check is local: OK closes with Accepted only for the exact password; a wrong one is
// reported and the dialog waits for another try; an empty entry is ignored.
class CLockDlg final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CLockDlg)
public:
    explicit CLockDlg(ClientContext& context, QWidget* parent = nullptr);

    void OnOK();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    ClientContext& m_context;
    CTEdit* m_password = nullptr;
    CXPButton* m_ok = nullptr;
    CXPButton* m_cancel = nullptr;
};
