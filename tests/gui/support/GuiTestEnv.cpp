#include "tests/gui/support/GuiTestEnv.h"

#include "shell/Gbk.h"

#include <QStringList>

#include <algorithm>
#include <cstring>
#include <thread>

namespace tavix::test {

void RecordingNotifier::NotifyTable(int message) {
    std::lock_guard lock(m_mutex);
    m_tables.push_back(message);
}

void RecordingNotifier::DeliverReply(int message, std::string_view body) {
    std::lock_guard lock(m_mutex);
    m_replies.emplace_back(message, std::string(body));
}

void RecordingNotifier::PostReply(int message, std::string body) {
    std::lock_guard lock(m_mutex);
    m_replies.emplace_back(message, std::move(body));
}

std::vector<int> RecordingNotifier::Tables() const {
    std::lock_guard lock(m_mutex);
    return m_tables;
}

std::vector<std::pair<int, std::string>> RecordingNotifier::Replies() const {
    std::lock_guard lock(m_mutex);
    return m_replies;
}

int RecordingNotifier::CountOf(int message) const {
    std::lock_guard lock(m_mutex);
    return static_cast<int>(std::count(m_tables.begin(), m_tables.end(), message));
}

ScriptedModalHook::ScriptedModalHook(int defaultAnswer)
    : m_defaultAnswer(defaultAnswer) {
    SetModalHook([this](const ModalRequest& request) {
        m_requests.push_back(request);
        if (m_answers.empty())
            return m_defaultAnswer;
        const int answer = m_answers.front();
        m_answers.pop_front();
        return answer;
    });
}

ScriptedModalHook::~ScriptedModalHook() {
    SetModalHook({});
}

QStringList ScriptedModalHook::Texts() const {
    QStringList texts;
    for (const ModalRequest& request : m_requests)
        texts.append(request.text);
    return texts;
}

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
