// Downloads a large file over loopback through the updater's dialog and worker (512-byte reads,
// every read shown) and prints the throughput from the start until the final figures are on
// screen. Usage: bench_updater [megabytes=100]
#include "updater/UpdateDlg.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QProgressBar>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

// Serves one GET with `size` bytes and closes; returns the listening port through `port`.
class OneShotServer final {
public:
    explicit OneShotServer(long long size)
        : size_(size) {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(listener_, 1) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return;
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~OneShotServer() {
        if (thread_.joinable())
            thread_.join();
        ::close(listener_);
    }
    int port() const { return port_; }

private:
    void Serve() {
        const int client = ::accept(listener_, nullptr, nullptr);
        if (client < 0)
            return;
        std::string request;
        char buffer[4096];
        while (request.find("\r\n\r\n") == std::string::npos) {
            const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            request.append(buffer, static_cast<size_t>(n));
        }
        const std::string head =
            "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " + std::to_string(size_) +
            "\r\nConnection: close\r\n\r\n";
        ::send(client, head.data(), head.size(), MSG_NOSIGNAL);
        std::vector<char> chunk(64 * 1024);
        for (size_t i = 0; i < chunk.size(); ++i)
            chunk[i] = static_cast<char>(i * 131 + 7);
        long long left = size_;
        while (left > 0) {
            const size_t part = static_cast<size_t>(std::min<long long>(left, static_cast<long long>(chunk.size())));
            const ssize_t n = ::send(client, chunk.data(), part, MSG_NOSIGNAL);
            if (n <= 0)
                break;
            left -= n;
        }
        ::close(client);
    }

    long long size_;
    int listener_ = -1;
    int port_ = 0;
    std::thread thread_;
};

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    for (const char* name : {"http_proxy", "https_proxy", "all_proxy", "HTTP_PROXY", "HTTPS_PROXY", "ALL_PROXY"})
        qunsetenv(name);
    const long long megabytes = argc > 1 ? std::atoll(argv[1]) : 100;
    const long long size = megabytes * 1024 * 1024;

    QApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid() || !QDir::setCurrent(dir.path()))
        return 2;
    OneShotServer server(size);
    if (server.port() == 0)
        return 2;

    CUpdateDlg dialog(QStringLiteral("http://127.0.0.1:%1/bench.bin").arg(server.port()));
    auto* bar = dialog.findChild<QProgressBar*>(QStringLiteral("id1003"));
    long long updates = 0;
    QObject::connect(bar, &QProgressBar::valueChanged, [&updates] { ++updates; });
    QObject::connect(&dialog, &CUpdateDlg::stateChanged, &app, [&app](CUpdateDlg::State state) {
        if (state != CUpdateDlg::State::kDownloading)
            app.quit();
    });
    dialog.show();
    QElapsedTimer clock;
    clock.start();
    dialog.StartDownload();
    app.exec();
    const double seconds = clock.nsecsElapsed() / 1e9;

    const long long written = QFileInfo(QStringLiteral("bench.bin")).size();
    const QString received = dialog.findChild<QLineEdit*>(QStringLiteral("id1009"))->text();
    const bool exact = dialog.CurrentState() == CUpdateDlg::State::kCompleted && written == size &&
                       received == QString::number(size / 1024) + u"KB" && bar->value() == bar->maximum();
    std::printf("downloaded %lld bytes in %.3f s: %.1f MB/s; %lld progress updates (%lld reads of 512 bytes at "
                "least); received shows %s; %s\n",
                written, seconds, written / seconds / (1024.0 * 1024.0), updates, (size + 511) / 512,
                received.toUtf8().constData(), exact ? "final figures exact" : "FINAL FIGURES WRONG");
    return exact ? 0 : 1;
}
