#include "shell/TavixApp.h"

#include "net/MachineCode.h"
#include "shell/InstallPaths.h"
#include "shell/LoginDlg.h"
#include "shell/MainFrame.h"
#include "wire/HostPort.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFontDatabase>
#include <QPalette>
#include <QSettings>
#include <QStyleFactory>

#include <cstdio>

namespace {

constexpr int kDefaultLook = 219;

QPalette LightGreyPalette() {
    QPalette palette;
    const QColor grey(240, 240, 240);
    palette.setColor(QPalette::Window, grey);
    palette.setColor(QPalette::Button, grey);
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::AlternateBase, QColor(246, 246, 246));
    palette.setColor(QPalette::WindowText, Qt::black);
    palette.setColor(QPalette::ButtonText, Qt::black);
    palette.setColor(QPalette::Text, Qt::black);
    palette.setColor(QPalette::Light, Qt::white);
    palette.setColor(QPalette::Midlight, QColor(227, 227, 227));
    palette.setColor(QPalette::Mid, QColor(160, 160, 160));
    palette.setColor(QPalette::Dark, QColor(160, 160, 160));
    palette.setColor(QPalette::Shadow, QColor(105, 105, 105));
    palette.setColor(QPalette::Highlight, QColor(0, 120, 215));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::ToolTipBase, QColor(255, 255, 225));
    palette.setColor(QPalette::ToolTipText, Qt::black);
    palette.setColor(QPalette::Disabled, QPalette::WindowText, QColor(120, 120, 120));
    palette.setColor(QPalette::Disabled, QPalette::Text, QColor(120, 120, 120));
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(120, 120, 120));
    return palette;
}

} // namespace

CTavixApp::CTavixApp()
    : m_link(m_state, m_notifier)
    , m_context{m_state, m_link, nullptr} {}

CTavixApp::~CTavixApp() {
    // Release a network thread that waits for a window, before the windows and the link go.
    m_notifier.Close();
    m_frame.reset();
}

bool CTavixApp::ParseServer(const QString& text, std::string* host, int* port) {
    const auto address = net::ParseHostPort(text.trimmed().toStdString(), net::kDefaultPort);
    // Port 0 names no server to connect to.
    if (!address || address->port == 0)
        return false;
    *host = address->host;
    *port = address->port;
    return true;
}

bool CTavixApp::ParseArguments(const QStringList& arguments, QString* error) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Quorvex trading client"));
    parser.addHelpOption();
    const QCommandLineOption server(
        QStringLiteral("server"),
        QStringLiteral("Trading server, HOST[:PORT] (default 127.0.0.1:9690); a comma-separated list is "
                       "tried in turn, the next one after every failed connect or broken connection."),
        QStringLiteral("HOST[:PORT][,HOST[:PORT]...]"));
    parser.addOption(server);
    parser.process(arguments); // prints the help and exits for --help
    if (!parser.positionalArguments().isEmpty()) {
        *error = QStringLiteral("unexpected argument: ") + parser.positionalArguments().first();
        return false;
    }
    if (parser.isSet(server)) {
        const QStringList items = parser.value(server).split(QLatin1Char(','));
        std::vector<net::ServerEndpoint> endpoints;
        for (const QString& item : items) {
            net::ServerEndpoint endpoint;
            if (!ParseServer(item, &endpoint.host, &endpoint.port)) {
                *error = QStringLiteral("bad --server value, expected HOST[:PORT][,HOST[:PORT]...]: ") +
                         parser.value(server);
                return false;
            }
            endpoints.push_back(std::move(endpoint));
        }
        m_state.serverAddress = endpoints.front().host;
        m_state.port = endpoints.front().port;
        m_state.moreServers.assign(endpoints.begin() + 1, endpoints.end());
    }
    return true;
}

void CTavixApp::ApplyLook() {
    const QSettings settings(QStringLiteral("marketdesk2603"), QStringLiteral("Tavix"));
    const int look = settings.value(QStringLiteral("ApplicationLook"), kDefaultLook).toInt();
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    if (look == kDefaultLook)
        QApplication::setPalette(LightGreyPalette());

    const QString cjk = QStringLiteral("WenQuanYi Micro Hei");
    if (QFontDatabase::families().contains(cjk))
        QApplication::setFont(QFont(cjk, 9));
}

int CTavixApp::Run() {
    {
        const IniLocation ini = ClientIniLocation();
        if (!ini.problem.isEmpty())
            std::fprintf(stderr, "Tavix: saved user names cannot be kept in %s: %s\n", qPrintable(ini.path),
                         qPrintable(ini.problem));
        m_context.iniPath = ini.path.toStdString();
        CLoginDlg login(m_context, ini.path.toStdString(), net::MachineCode());
        m_notifier.SetLoginDialog(&login);
        const int result = login.exec();
        m_notifier.SetLoginDialog(nullptr);
        if (result != QDialog::Accepted)
            return 0; // cancelled, or ended for an update
    }
    m_frame = std::make_unique<CMainFrame>(m_context);
    m_frame->SetAutoLock(CMainFrame::AutoLockFromIni(ClientIniLocation().path.toStdString()));
    m_notifier.SetMainFrame(m_frame.get());
    m_frame->showMaximized();
    // The keyboard goes to the main window at once, also where no window manager hands the
    // focus over from the closed login dialog.
    m_frame->raise();
    m_frame->activateWindow();
    const int code = QApplication::exec();
    m_notifier.Close();
    return code;
}
