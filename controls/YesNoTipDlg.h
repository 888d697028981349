#pragma once

#include "controls/TipDialog.h"

#include <QString>

// The confirmation dialog with the failure dialog's look: OK (是) accepts; Cancel (否),
// Esc and closing reject. exec() returns QDialog::Accepted or QDialog::Rejected.
class CYesNoTipDlg final : public CTipDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CYesNoTipDlg)
public:
    explicit CYesNoTipDlg(QWidget* parent = nullptr);
    void SetMessage(const QString& message);
};
