#include "shell/LoginDlg.h"

#include "controls/Dlu.h"
#include "controls/FailDlg.h"
#include "controls/ModalHook.h"
#include "controls/XPButton.h"
#include "core/ClientContext.h"
#include "core/Gbk.h"
#include "net/SharedState.h"
#include "net/TradingLink.h"
#include "shell/InstallPaths.h"
#include "wire/Commands.h"
#include "wire/GbkText.h"
#include "wire/SplitText.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLinearGradient>
#include <QPainter>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <cstring>

namespace {

constexpr const char* kSection = "loginfo";
constexpr int kSavedUserSlots = 100;

QString ConnectFailedText() {
    return QStringLiteral("连接委托主站失败！可能是以下原因：\r\n    (1) 计算机没有连接到互联网上；\r\n    (2) "
                          "通过代理上网，代理设置不正确;\r\n    (3) 防火墙阻挡了通讯;\r\n    (4) "
                          "营业部的IP地址或域名设置不正确");
}

std::string UserKey(int i) {
    return "user" + std::to_string(i);
}

// The updater's command line without its first token: the download address.
QString UpdaterArgument(std::string_view commandLine) {
    const auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
    std::size_t i = 0;
    while (i < commandLine.size() && isBlank(commandLine[i]))
        ++i;
    while (i < commandLine.size() && !isBlank(commandLine[i]))
        ++i;
    while (i < commandLine.size() && isBlank(commandLine[i]))
        ++i;
    return FromGbk(commandLine.substr(i));
}

// What loginAccount would hold for `account` (cut to fit its 64 bytes).
std::string StoredAccount(std::string_view account) {
    char slot[sizeof(net::SharedState::loginAccount)] = {};
    net::StoreField(slot, account);
    return std::string(net::FieldText(slot));
}

} // namespace

CLoginDlg::CLoginDlg(ClientContext& context, std::string iniPath, std::string machineCode, QWidget* parent)
    : QDialog(parent)
    , m_context(context)
    , m_ini(std::move(iniPath))
    , m_machineCode(std::move(machineCode)) {
    setWindowTitle(QStringLiteral("Quorvex登陆"));
    setFixedSize(DluX(260), DluY(136));
    setObjectName(QStringLiteral("id326"));

    m_startUpdate = [](const QString& program, const QString& argument) {
        return QProcess::startDetached(program, argument.isEmpty() ? QStringList() : QStringList{argument});
    };
    m_exit = [this](int) { done(QDialog::Rejected); };

    // Created in tab order: user name, password, buttons, check box.
    auto* userLabel = new QLabel(QStringLiteral("用户名"), this);
    userLabel->setGeometry(DluRect(52, 62, 32, 10));
    m_user = new QComboBox(this);
    m_user->setObjectName(QStringLiteral("id1178"));
    m_user->setEditable(true);
    m_user->setInsertPolicy(QComboBox::NoInsert);
    m_user->setGeometry(DluRect(88, 60, 110, 13));

    auto* passwordLabel = new QLabel(QStringLiteral("密   码"), this);
    passwordLabel->setGeometry(DluRect(52, 80, 32, 10));
    m_password = new QLineEdit(this);
    m_password->setObjectName(QStringLiteral("id1076"));
    m_password->setEchoMode(QLineEdit::Password);
    m_password->setGeometry(DluRect(88, 78, 110, 13));

    m_login = new CXPButton(QStringLiteral("登  录"), this);
    m_login->setObjectName(QStringLiteral("id1069"));
    m_login->setGeometry(DluRect(62, 112, 58, 16));
    m_cancel = new CXPButton(QStringLiteral("取  消"), this);
    m_cancel->setObjectName(QStringLiteral("id1070"));
    m_cancel->setGeometry(DluRect(140, 112, 58, 16));
    for (auto* button : {m_login, m_cancel}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    m_saveUser = new QCheckBox(QStringLiteral("保存账户名"), this);
    m_saveUser->setObjectName(QStringLiteral("id1051"));
    m_saveUser->setGeometry(DluRect(88, 96, 70, 10));

    m_answerTimer = new QTimer(this);
    m_answerTimer->setSingleShot(true);
    m_answerTimer->setInterval(m_context.link.Timings().loginAnswerWait);
    connect(m_answerTimer, &QTimer::timeout, this, &CLoginDlg::OnAnswerOverdue);

    connect(m_login, &QPushButton::clicked, this, &CLoginDlg::OnLogin);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);

    // Enter starts one attempt whichever control has the focus; the key goes no further,
    // so no default button or edit can start a second one.
    for (QWidget* child : findChildren<QWidget*>())
        child->installEventFilter(this);

    LoadSavedUsers();
    FocusFirstEmpty();
}

void CLoginDlg::FocusFirstEmpty() {
    // A remembered name leaves only the password to type: it must not land in the name box.
    if (m_user->currentText().isEmpty())
        m_user->setFocus();
    else
        m_password->setFocus();
}

CLoginDlg::~CLoginDlg() = default;

void CLoginDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!m_started) {
        m_started = true;
        m_context.link.Start();
        FocusFirstEmpty();
    }
}

void CLoginDlg::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    // The header strip: the full width, down to 30 px above the user-name box.
    const int bottom = m_user->geometry().top() - 30;
    if (bottom <= 0)
        return;
    QPainter painter(this);
    const QRect strip(0, 0, width(), bottom);
    QLinearGradient sky(strip.topLeft(), strip.bottomLeft());
    sky.setColorAt(0, QColor(24, 74, 150));
    sky.setColorAt(1, QColor(70, 140, 210));
    painter.fillRect(strip, sky);

    // A few candles along the right-hand side.
    painter.setRenderHint(QPainter::Antialiasing);
    const int baseX = strip.width() - 130;
    const int heights[] = {18, 26, 14, 30, 22, 34};
    for (int i = 0; i < 6; ++i) {
        const bool up = i % 2 == 0 || i == 5;
        const int h = heights[i] * strip.height() / 70;
        const int x = baseX + i * 20;
        const int y = strip.height() - 10 - h - (i * strip.height() / 30);
        painter.setPen(QPen(QColor(230, 240, 255), 1));
        painter.drawLine(x + 5, y - 5, x + 5, y + h + 5);
        painter.fillRect(QRect(x, y, 10, h), up ? QColor(235, 70, 60) : QColor(60, 190, 110));
    }

    // The name above, the subtitle below, both within the strip.
    QFont title = font();
    title.setPointSizeF(title.pointSizeF() * 2.0);
    title.setBold(true);
    const QFontMetrics titleMetrics(title);
    const QFontMetrics subtitleMetrics(font());
    const int gap = 4;
    const int top = std::max(2, (strip.height() - titleMetrics.height() - gap - subtitleMetrics.height()) / 2);
    painter.setFont(title);
    painter.setPen(Qt::white);
    painter.drawText(QRect(18, top, strip.width() / 2, titleMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("Quorvex"));
    painter.setFont(font());
    painter.setPen(QColor(220, 232, 250));
    painter.drawText(QRect(20, top + titleMetrics.height() + gap, strip.width() / 2, subtitleMetrics.height()),
                     Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("模拟炒股大赛 交易终端"));
}

namespace {

bool IsEnterKey(QEvent* event, QEvent::Type type) {
    if (event->type() != type)
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    return key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
}

} // namespace

bool CLoginDlg::IsEnterPress(QEvent* event) const {
    return IsEnterKey(event, QEvent::KeyPress) && !static_cast<QKeyEvent*>(event)->isAutoRepeat();
}

bool CLoginDlg::eventFilter(QObject* watched, QEvent* event) {
    // An open drop-down list takes its own Enter (it picks the entry).
    if (m_user->view()->isVisible())
        return QDialog::eventFilter(watched, event);
    if (IsEnterPress(event)) {
        OnLogin();
        return true;
    }
    // Held keys and releases go no further either: a button that clicks on the release of
    // Enter would start a second attempt.
    if (IsEnterKey(event, QEvent::KeyPress) || IsEnterKey(event, QEvent::KeyRelease))
        return true;
    return QDialog::eventFilter(watched, event);
}

void CLoginDlg::keyPressEvent(QKeyEvent* event) {
    if (IsEnterPress(event)) {
        OnLogin();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CLoginDlg::LoadSavedUsers() {
    if (m_ini.ReadInt(kSection, "saveuser", 0) == 1)
        m_saveUser->setChecked(true);
    for (int i = 0; i < kSavedUserSlots; ++i) {
        const std::string name = m_ini.Read(kSection, UserKey(i));
        if (name.empty())
            continue;
        // The list keeps itself sorted.
        const QString text = FromGbk(name);
        int at = 0;
        while (at < m_user->count() && QString::compare(m_user->itemText(at), text, Qt::CaseInsensitive) <= 0)
            ++at;
        m_user->insertItem(at, text);
    }
    const std::string last = m_ini.Read(kSection, "lastuser");
    m_user->setEditText(last.empty() ? QString() : FromGbk(last));
    // "bhuser" names a check box this dialog does not have; it is read and has no effect.
    m_ini.ReadInt(kSection, "bhuser", 0);
}

void CLoginDlg::SaveUserName() {
    const QString name = m_user->currentText();
    const std::string bytes = ToGbk(name);
    // A choice that cannot be stored is said, not dropped: the next start would otherwise
    // show a different box state or list than the user left.
    const auto saved = [&] {
        if (!m_saveUser->isChecked())
            return m_ini.Write(kSection, "saveuser", "0");
        if (!m_ini.Write(kSection, "saveuser", "1") || !m_ini.Write(kSection, "lastuser", bytes))
            return false;
        if (m_user->findText(name, Qt::MatchExactly | Qt::MatchCaseSensitive) >= 0)
            return true;
        for (int i = 0; i < kSavedUserSlots; ++i) {
            if (m_ini.Read(kSection, UserKey(i)).empty())
                return m_ini.Write(kSection, UserKey(i), bytes);
        }
        return true;
    }();
    if (!saved)
        ShowMessageBox(this, QStringLiteral("无法保存账户名到 %1").arg(QString::fromStdString(m_ini.Path())),
                       QStringLiteral("通知"));
}

void CLoginDlg::OnLogin() {
    if (m_waiting)
        return;
    const QString user = m_user->currentText();
    const QString password = m_password->text();
    if (user.isEmpty()) {
        ShowFailure(this, QStringLiteral("请输入用户名"));
        return;
    }
    if (password.isEmpty()) {
        ShowFailure(this, QStringLiteral("请交易密码"));
        return;
    }
    std::string userBytes = ToGbk(user);
    std::string passwordBytes = ToGbk(password);
    const std::string body = "user_name=" + userBytes + "&pwd=" + passwordBytes + "&yjm=" + m_machineCode;
    // Stored first: the request itself carries them as curuser/curpwd.
    m_context.state.credentials.Set(std::move(userBytes), std::move(passwordBytes));
    if (m_context.link.SendLogin(body))
        m_answerTimer->start();
    else
        ShowMessageBox(this, ConnectFailedText());
}

void CLoginDlg::OnAnswerOverdue() {
    // No resend after this: the user decides whether to try again.
    m_context.link.ForgetPendingLogin();
    ShowFailure(this, QStringLiteral("登录超时，请重试"));
}

void CLoginDlg::OnLoginReply(std::string_view body) {
    m_answerTimer->stop();
    const std::vector<std::string_view> fields = net::SplitText(body, ",,,");
    if (fields[0] != "0") {
        ShowFailure(this, fields.size() > 1 ? FromGbk(fields[1]) : QStringLiteral("登录失败"));
        // Ready for the next try: the password selected, so typing replaces it.
        m_password->setFocus();
        m_password->selectAll();
        return;
    }
    // Every field this answer needs must be there before anything is stored.
    const bool complete =
        fields.size() >= 4 && (fields[3] == net::kClientVersion ? fields.size() >= 7 : fields.size() >= 8);
    if (!complete) {
        ShowFailure(this, QStringLiteral("登录应答不完整"));
        return;
    }

    net::SharedState& state = m_context.state;
    SaveUserName();
    state.loginInfoText = std::string(fields[1]);
    state.availableFundsText = std::string(fields[2]);

    if (fields[3] != net::kClientVersion) {
        ShowMessageBox(this, QStringLiteral("发现新版本，请先更新!"), QStringLiteral("通知"));
        StartUpdate(fields[7]);
        m_exit(0);
        return;
    }

    const std::vector<std::string_view> accounts = net::SplitText(fields[4], ":");
    if (accounts.size() >= 2) {
        state.shanghaiAccount = std::string(accounts[0]);
        state.shenzhenAccount = std::string(accounts[1]);
    }
    state.accountStatus = std::string(fields[5]);
    state.credentials.SetUser(std::string(fields[6]));

    const std::string account = StoredAccount(fields[6]);
    const std::string_view loaded = net::FieldText(state.loginAccount);
    if (loaded.empty() || loaded == account) {
        if (loaded.empty())
            net::StoreField(state.loginAccount, fields[6]);
        state.initialLoadPending.store(1);
        m_context.link.StartInitialLoad();
        WaitForInitialLoad();
    }
    accept();
}

void CLoginDlg::StartUpdate(std::string_view commandLine) {
    m_startUpdate(FindUpdater(QCoreApplication::applicationDirPath()), UpdaterArgument(commandLine));
}

void CLoginDlg::WaitForInitialLoad() {
    // The first two queries go out on the worker's thread; meanwhile the window still
    // paints but takes no input, so no second login can start.
    m_waiting = true;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    if (m_context.state.initialLoadPending.load() > 0) {
        QEventLoop loop;
        QTimer poll;
        poll.setInterval(50);
        connect(&poll, &QTimer::timeout, &loop, [&] {
            if (m_context.state.initialLoadPending.load() <= 0)
                loop.quit();
        });
        poll.start();
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    QApplication::restoreOverrideCursor();
    m_waiting = false;
}
