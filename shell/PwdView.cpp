#include "shell/PwdView.h"

#include "controls/Dlu.h"
#include "controls/FailDlg.h"
#include "controls/TEdit.h"
#include "controls/TStatic.h"
#include "controls/XPButton.h"
#include "core/ClientContext.h"
#include "core/Gbk.h"
#include "net/TradingLink.h"
#include "wire/Commands.h"
#include "wire/PasswordRule.h"

#include <string>

#include <string.h> // explicit_bzero

namespace {

// Overwrites a password copy before its memory is released.
void Wipe(std::string& text) {
    explicit_bzero(text.data(), text.size());
    text.clear();
}

void Wipe(QString& text) {
    text.fill(QChar(u'\0'));
    text.clear();
}

} // namespace

CPwdView::CPwdView(ClientContext& context, QWidget* parent)
    : CTFormView(context, parent)
    , m_oldPassword(new CTEdit(this))
    , m_newPassword(new CTEdit(this))
    , m_confirmation(new CTEdit(this))
    , m_clear(new CXPButton(tr("重填(&R)"), this))
    , m_confirm(new CXPButton(tr("确认(&S)"), this)) {
    struct Row {
        const char* labelId;
        QString label;
        const char* editId;
        CTEdit* edit;
    };
    const Row rows[] = {{"id1062", tr("原  密  码(&O)："), "id1071", m_oldPassword},
                        {"id1063", tr("新  密  码(&X)："), "id1072", m_newPassword},
                        {"id1064", tr("确认密码(&Q)："), "id1073", m_confirmation}};
    int y = 40;
    for (const Row& r : rows) {
        auto* label = new CTStatic(r.label, this);
        label->setObjectName(QString::fromLatin1(r.labelId));
        label->SetRightAligned(true);
        label->setGeometry(DluRect(70, y + 2, 70, 10));
        label->setBuddy(r.edit);
        r.edit->setObjectName(QString::fromLatin1(r.editId));
        r.edit->setEchoMode(QLineEdit::Password);
        r.edit->setGeometry(DluRect(144, y, 96, 14));
        y += 26;
    }
    m_clear->setObjectName(QStringLiteral("id1069"));
    m_clear->setGeometry(DluRect(110, y + 8, 50, 16));
    m_confirm->setObjectName(QStringLiteral("id1070"));
    m_confirm->setGeometry(DluRect(190, y + 8, 50, 16));
    setTabOrder(m_oldPassword, m_newPassword);
    setTabOrder(m_newPassword, m_confirmation);
    setTabOrder(m_confirmation, m_confirm);
    connect(m_clear, &QPushButton::clicked, this, &CPwdView::Clear);
    connect(m_confirm, &QPushButton::clicked, this, &CPwdView::Confirm);
    resize(DluX(344), DluY(223));
}

void CPwdView::Clear() {
    m_oldPassword->clear();
    m_newPassword->clear();
    m_confirmation->clear();
}

void CPwdView::Confirm() {
    QString oldPassword = m_oldPassword->text();
    QString newPassword = m_newPassword->text();
    QString confirmation = m_confirmation->text();
    std::string oldBytes = ToGbk(oldPassword);
    std::string newBytes = ToGbk(newPassword);
    QString problem;
    if (oldPassword.isEmpty())
        problem = tr("请输入原密码");
    else if (newPassword.isEmpty())
        problem = tr("请输入新密码");
    else if (confirmation.isEmpty())
        problem = tr("请输入确认密码");
    else if (newPassword != confirmation)
        problem = tr("新密码和确认密码不一致");
    else if (newPassword.contains(u'&') || newPassword.contains(u'='))
        // The request is a query string without escaping: these would cut the new password.
        problem = tr("新密码不能包含“&”或“=”");
    else if (FromGbk(newBytes) != newPassword)
        problem = tr("新密码含有无法使用的字符");
    else if (const net::PasswordProblem rule = net::CheckPassword(newBytes); rule != net::PasswordProblem::kNone)
        problem = QString::fromUtf8(net::PasswordProblemText(rule));
    if (problem.isEmpty()) {
        std::string body;
        body.reserve(oldBytes.size() + newBytes.size() + 16);
        body.append("oldpwd=").append(oldBytes).append("&pwd=").append(newBytes);
        Context().link.SendRequest(net::kCmdChangePassword, body);
        Wipe(body);
    } else {
        ShowFailure(this, problem);
    }
    Wipe(oldBytes);
    Wipe(newBytes);
    Wipe(oldPassword);
    Wipe(newPassword);
    Wipe(confirmation);
}
