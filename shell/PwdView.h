#pragma once

#include "core/TFormView.h"

class CTEdit;
class CXPButton;

// "修改密码": old password, new password and its confirmation. The form checks the entry
// locally and sends the change (command 21); the main window reports the answer. The
// passwords are never written to a log or a file.
class CPwdView final : public CTFormView {
    Q_OBJECT
public:
    explicit CPwdView(ClientContext& context, QWidget* parent = nullptr);

    // "确认(&S)": checks the fields in order (the first failing check is shown) and sends.
    void Confirm();
    // "重填(&R)": empties the three fields.
    void Clear();

private:
    CTEdit* m_oldPassword;
    CTEdit* m_newPassword;
    CTEdit* m_confirmation;
    CXPButton* m_clear;
    CXPButton* m_confirm;
};
