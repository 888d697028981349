// The whole client at rest: login through the login dialog against a loopback server (in a
// child process) that holds 64 positions and pushes a quote for each every second, then
// the main window with the funds view revaluing. Prints the time from process start until
// the login dialog is on screen, the processor time of the client at rest and its resident
// memory. With --screens DIR it also writes pictures of the login dialog, the main window,
// a failure dialog and the lock dialog.
//
// With --server HOST:PORT it logs in as demo/demo123 at that server instead (a real
// quorvexd) and holds whatever that account holds.
//
// Usage: shell_bench [--seconds N] [--screens DIR] [--server HOST:PORT]
//        (QT_QPA_PLATFORM=offscreen or xvfb-run)

#include "controls/FailDlg.h"
#include "core/ClientContext.h"
#include "core/Gbk.h"
#include "net/MachineCode.h"
#include "net/SharedState.h"
#include "net/TradingLink.h"
#include "shell/GuiNotifier.h"
#include "shell/LockDlg.h"
#include "shell/LoginDlg.h"
#include "shell/MainFrame.h"
#include "shell/TavixApp.h"
#include "tests/support/FakeTradingServer.h"
#include "wire/Commands.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kPositions = 64;

std::string Code(int i) {
    char text[8];
    std::snprintf(text, sizeof text, "%06d", i < kPositions / 2 ? 600000 + i * 7 : 1 + i * 11);
    return text;
}

double Price(int i, int tick) {
    return 8.0 + i * 0.37 + 0.05 * std::sin((tick + i) * 0.7);
}

std::string Positions() {
    std::string body;
    for (int i = 0; i < kPositions; ++i) {
        const double cost = 8.0 + i * 0.37;
        char row[200];
        std::snprintf(row, sizeof row, "%s,%s,%d,%d,0,0.00,%.2f,0.00,%.2f,%.2f|", Code(i).c_str(),
                      ToGbk(QStringLiteral("样本%1").arg(i, 2, 10, QLatin1Char('0'))).c_str(), 1000 + i * 100,
                      1000 + i * 100, cost, cost, cost * (1000 + i * 100));
        body += row;
    }
    return body;
}

std::string Quotes(int tick) {
    std::string body;
    for (int i = 0; i < kPositions; ++i) {
        const double last = Price(i, tick);
        std::ostringstream q;
        q.setf(std::ios::fixed);
        q.precision(2);
        q << Code(i) << ',' << ToGbk(QStringLiteral("样本%1").arg(i, 2, 10, QLatin1Char('0'))) << ',' << last << ','
          << 8.0 + i * 0.37;
        for (int l = 0; l < 5; ++l)
            q << ',' << last - 0.01 * (l + 1);
        for (int l = 0; l < 5; ++l)
            q << ',' << 100 * (l + 1);
        for (int l = 0; l < 5; ++l)
            q << ',' << last + 0.01 * (l + 1);
        for (int l = 0; l < 5; ++l)
            q << ',' << 120 * (l + 1);
        body += q.str() + '|';
    }
    return body;
}

// The child: a contest server reduced to what the client asks at login, and a quote push
// every second, until the parent goes away.
[[noreturn]] void RunServer(int portPipe, int lifePipe) {
    tavix::test::FakeTradingServer server;
    server.SetAutoReply(net::kCmdLogin, [](const net::Frame&) {
        return ToGbk(QStringLiteral("0,,,欢迎参加模拟炒股大赛,,,500000.00,,,20210223,,,A000000001:0100000001,,,0,,,"
                                    "demo"));
    });
    const std::string positions = Positions();
    server.SetAutoReply(net::kCmdPositions, [positions](const net::Frame&) { return positions; });
    server.SetAutoReply(net::kCmdFunds, [](const net::Frame&) {
        return std::string("500000.00,500000.00,0.00,0.00,500000.00,500000.00,0.00,0.00,1");
    });
    for (int command : {net::kCmdTodayTrades, net::kCmdTodayOrders, net::kCmdSettlement, net::kCmdFundsFlow})
        server.SetAutoReply(command, [](const net::Frame&) { return std::string(); });
    const int port = server.Port();
    if (write(portPipe, &port, sizeof port) != sizeof port)
        _exit(1);
    for (int tick = 0;; ++tick) {
        pollfd p{lifePipe, POLLIN, 0};
        if (poll(&p, 1, 1000) != 0)
            break; // the parent closed its end
        server.Send(net::kCmdQuoteUpdate, Quotes(tick));
    }
    _exit(0);
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long StatusKb(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(key, 0) == 0)
            return std::atol(line.c_str() + std::strlen(key));
    }
    return -1;
}

// Milliseconds since the process was started (clock-tick resolution).
double SinceProcessStartMs() {
    std::ifstream statFile("/proc/self/stat");
    std::string stat((std::istreambuf_iterator<char>(statFile)), std::istreambuf_iterator<char>());
    std::istringstream rest(stat.substr(stat.rfind(')') + 2));
    std::string field;
    for (int i = 3; i <= 22; ++i)
        rest >> field; // field 22: start time in clock ticks after boot
    const double startSeconds = std::stod(field) / sysconf(_SC_CLK_TCK);
    double uptime = 0;
    std::ifstream("/proc/uptime") >> uptime;
    return (uptime - startSeconds) * 1000.0;
}

bool Save(QWidget& widget, const QDir& dir, const char* name) {
    const QString path = dir.filePath(QString::fromLatin1(name));
    const bool ok = widget.grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "could not write", qPrintable(path));
    return ok;
}

} // namespace

int main(int argc, char* argv[]) {
    QElapsedTimer sinceMain;
    sinceMain.start();
    int seconds = 10;
    QString screens;
    QString serverText;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0)
            seconds = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--screens") == 0)
            screens = QString::fromLocal8Bit(argv[++i]);
        else if (std::strcmp(argv[i], "--server") == 0)
            serverText = QString::fromLocal8Bit(argv[++i]);
    }

    std::string host = "127.0.0.1";
    int port = 0;
    pid_t child = -1;
    int lifePipe[2] = {-1, -1};
    if (!serverText.isEmpty()) {
        if (!CTavixApp::ParseServer(serverText, &host, &port))
            return 2;
    } else {
        int portPipe[2];
        if (pipe(portPipe) != 0 || pipe(lifePipe) != 0)
            return 1;
        child = fork();
        if (child == 0) {
            close(portPipe[0]);
            close(lifePipe[1]);
            RunServer(portPipe[1], lifePipe[0]);
        }
        close(portPipe[1]);
        close(lifePipe[0]);
        if (read(portPipe[0], &port, sizeof port) != sizeof port)
            return 1;
    }
    // The loopback server stands in for the network: its start is not the client's.
    const qint64 serverStartMs = sinceMain.restart();

    QApplication app(argc, argv);
    CTavixApp::ApplyLook();
    const QDir screenDir(screens);

    net::SharedState state;
    state.serverAddress = host;
    state.port = port;
    CGuiNotifier notifier;
    net::TradingLink link(state, notifier);
    ClientContext context{state, link, nullptr};

    QTemporaryDir iniDir;
    CLoginDlg login(context, iniDir.filePath(QStringLiteral("client.ini")).toStdString(), net::MachineCode());
    notifier.SetLoginDialog(&login);
    QTimer onScreen;
    onScreen.setInterval(1);
    QObject::connect(&onScreen, &QTimer::timeout, &login, [&] {
        if (!login.windowHandle() || !login.windowHandle()->isExposed())
            return;
        onScreen.stop();
        std::printf("login dialog on screen: %.0f ms after process start (clock ticks), %lld ms after main(), "
                    "both without the %lld ms the loopback server took to start\n",
                    SinceProcessStartMs() - static_cast<double>(serverStartMs),
                    static_cast<long long>(sinceMain.elapsed()), static_cast<long long>(serverStartMs));
        login.findChild<QComboBox*>(QStringLiteral("id1178"))->setEditText(QStringLiteral("demo"));
        login.findChild<QLineEdit*>(QStringLiteral("id1076"))->setText(QStringLiteral("demo123"));
        login.findChild<QCheckBox*>(QStringLiteral("id1051"))->setChecked(true);
        if (!screens.isEmpty())
            Save(login, screenDir, "shell_login.png");
        // Give the network thread its connection before the attempt.
        QTimer::singleShot(300, &login, &CLoginDlg::OnLogin);
    });
    onScreen.start();
    if (login.exec() != QDialog::Accepted) {
        std::printf("login failed\n");
        return 1;
    }
    notifier.SetLoginDialog(nullptr);

    CMainFrame frame(context);
    notifier.SetMainFrame(&frame);
    frame.showMaximized();

    double cpuStart = 0;
    QElapsedTimer wall;
    QTimer::singleShot(3000, &frame, [&] {
        cpuStart = CpuSeconds();
        wall.start();
    });
    QTimer::singleShot(3000 + seconds * 1000, &frame, [&] {
        const double cpu = CpuSeconds() - cpuStart;
        const double elapsed = wall.elapsed() / 1000.0;
        std::printf("positions shown: %zu, quotes held: %d\n", state.positions.Count(&net::PositionRecord::code),
                    state.quotes.Used());
        std::printf("client processor time at rest: %.3f s over %.1f s = %.2f%% of one core\n", cpu, elapsed,
                    100.0 * cpu / elapsed);
        std::printf("resident memory: %ld kB now, %ld kB peak\n", StatusKb("VmRSS:"), StatusKb("VmHWM:"));
        if (!screens.isEmpty()) {
            Save(frame, screenDir, "shell_main.png");
            CFailDlg failure(&frame);
            failure.SetMessage(QStringLiteral("用户名或密码错误"));
            failure.show();
            QApplication::processEvents();
            Save(failure, screenDir, "shell_failure.png");
            failure.hide();
            CLockDlg lock(context);
            lock.show();
            QApplication::processEvents();
            Save(lock, screenDir, "shell_lock.png");
        }
        QApplication::quit();
    });
    const int code = QApplication::exec();
    notifier.Close();
    if (child > 0) {
        close(lifePipe[1]);
        waitpid(child, nullptr, 0);
    }
    return code;
}
