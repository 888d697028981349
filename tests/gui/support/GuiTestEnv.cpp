#include "tests/gui/support/GuiTestEnv.h"

#include "shell/Gbk.h"

#include <QStringList>

#include <algorithm>
#include <cstring>
#include <thread>

namespace tavix::test {

namespace {
net::SharedState& PointedAt(net::SharedState& state, int port) {
    state.serverAddress = "127.0.0.1";
    state.port = port;
    return state;
}
} // namespace

GuiTestEnv::GuiTestEnv()
    : link(PointedAt(state, server.Port()), notifier)
    , context{state, link, &frame} {
    state.credentials.Set("tester", "secret");
    link.Start();
    Connected();
}

GuiTestEnv::~GuiTestEnv() {
    link.Stop();
}

bool GuiTestEnv::Connected() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!link.Socket().Connected()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return server.WaitForConnection(std::chrono::seconds(10));
}

void GuiTestEnv::SetQuote(const std::string& code, float lastPrice, float prevClose) {
    net::QuoteRecord quote{};
    std::strncpy(quote.code, code.c_str(), sizeof quote.code - 1);
    quote.lastPrice = lastPrice;
    quote.prevClose = prevClose;
    quote.bidPrice[0] = lastPrice;
    quote.askPrice[0] = lastPrice;
    state.quotes.Store(quote);
}

std::string Gbk(const QString& text) {
    return ToGbk(text);
}

} // namespace tavix::test
