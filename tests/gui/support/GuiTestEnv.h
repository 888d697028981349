#pragma once

#include "controls/ModalHook.h"
#include "net/LinkNotifier.h"
#include "net/SharedState.h"
#include "net/TradingLink.h"
#include "shell/ClientContext.h"
#include "tests/support/FakeTradingServer.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace tavix::test {

// Records what the trading link tells the windows. HasMainFrame() answers what the test set.
class RecordingNotifier final : public net::LinkNotifier {
public:
    bool HasMainFrame() const override { return m_hasMainFrame.load(); }
    void NotifyTable(int message) override;
    void DeliverReply(int message, std::string_view body) override;
    void PostReply(int message, std::string body) override;

    void SetHasMainFrame(bool has) { m_hasMainFrame.store(has); }
    std::vector<int> Tables() const;
    std::vector<std::pair<int, std::string>> Replies() const;
    int CountOf(int message) const;

private:
    std::atomic<bool> m_hasMainFrame{true};
    mutable std::mutex m_mutex;
    std::vector<int> m_tables;
    std::vector<std::pair<int, std::string>> m_replies;
};

// Records every SellPosition request of the views.
class RecordingFrame final : public MainFrameHooks {
public:
    void SellPosition(int code) override { soldCodes.push_back(code); }
    std::vector<int> soldCodes;
};

// Installs a modal hook for its lifetime: every dialog or message box is recorded and
// answered with the next scripted answer (or the default answer when none is left).
class ScriptedModalHook final {
public:
    explicit ScriptedModalHook(int defaultAnswer = 1);
    ~ScriptedModalHook();
    ScriptedModalHook(const ScriptedModalHook&) = delete;
    ScriptedModalHook& operator=(const ScriptedModalHook&) = delete;

    void QueueAnswer(int answer) { m_answers.push_back(answer); }
    const std::vector<ModalRequest>& Requests() const { return m_requests; }
    // Texts of the requests so far, in order.
    QStringList Texts() const;

private:
    int m_defaultAnswer;
    std::deque<int> m_answers;
    std::vector<ModalRequest> m_requests;
};

// One client's world for a GUI test: a loopback trading server, the shared state pointed
// at it, a recording notifier, a started and connected trading link, and the context that
// views and dialogs take. Construct it on the test's GUI thread.
class GuiTestEnv final {
public:
    GuiTestEnv();
    ~GuiTestEnv();
    GuiTestEnv(const GuiTestEnv&) = delete;
    GuiTestEnv& operator=(const GuiTestEnv&) = delete;

    // True once the link's socket is connected to the server (waited for at construction).
    bool Connected();

    // Tables filled as the link's parsers would from a reply body (GBK bytes), e.g.
    // FillPositions("600000,浦发银行,1000,1000,0,120.00,10.00,1.20,10.12,10120.00|").
    void FillPositions(std::string_view body) { link.ParsePositions(body); }
    void FillFunds(std::string_view body) { link.ParseFunds(body); }
    void FillTodayTrades(std::string_view body) { link.ParseTodayTrades(body); }
    void FillTodayOrders(std::string_view body) { link.ParseTodayOrders(body); }
    // Stores a quote whose last price (and first bid/ask) is `lastPrice`.
    void SetQuote(const std::string& code, float lastPrice, float prevClose = 0.0f);

    // Frames the server received with `command` so far.
    int Received(int command) const { return server.CountOf(command); }

    FakeTradingServer server;
    net::SharedState state;
    RecordingNotifier notifier;
    net::TradingLink link;
    RecordingFrame frame;
    ClientContext context;
};

// Texts in the tests' source are UTF-8; the tables hold GBK.
std::string Gbk(const QString& text);

} // namespace tavix::test
