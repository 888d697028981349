#include "shell/LockDlg.h"

#include "controls/Dlu.h"
#include "controls/FailDlg.h"
#include "controls/TEdit.h"
#include "controls/TStatic.h"
#include "controls/XPButton.h"
#include "core/ClientContext.h"
#include "core/Gbk.h"
#include "net/SharedState.h"

#include <QPainter>

CLockDlg::CLockDlg(ClientContext& context, QWidget* parent)
    : QDialog(parent)
    , m_context(context) {
    setObjectName(QStringLiteral("id346"));
    setWindowTitle(QStringLiteral("操盘终端"));
    setFixedSize(DluX(168), DluY(69));

    auto* prompt = new CTStatic(QStringLiteral("请输入您的交易密码"), this);
    prompt->setObjectName(QStringLiteral("id1061"));
    prompt->setGeometry(DluRect(14, 10, 140, 10));

    m_password = new CTEdit(this);
    m_password->setObjectName(QStringLiteral("id1076"));
    m_password->setEchoMode(QLineEdit::Password);
    m_password->setGeometry(DluRect(14, 24, 140, 13));

    m_ok = new CXPButton(QStringLiteral("确定"), this);
    m_ok->setObjectName(QStringLiteral("id1"));
    m_ok->setGeometry(DluRect(30, 46, 50, 15));
    m_ok->setDefault(true);
    m_cancel = new CXPButton(QStringLiteral("取消"), this);
    m_cancel->setObjectName(QStringLiteral("id2"));
    m_cancel->setGeometry(DluRect(90, 46, 50, 15));
    m_cancel->setAutoDefault(false);

    connect(m_ok, &QPushButton::clicked, this, &CLockDlg::OnOK);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    m_password->setFocus();
}

void CLockDlg::OnOK() {
    const QString entered = m_password->text();
    if (entered.isEmpty())
        return;
    if (ToGbk(entered) != m_context.state.credentials.CurrentPassword()) {
        ShowFailure(this, QStringLiteral("密码输入错误"));
        return;
    }
    accept();
}

void CLockDlg::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(236, 244, 246));
}
