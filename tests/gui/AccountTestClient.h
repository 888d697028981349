#pragma once

#include "controls/ModalHook.h"
#include "core/ClientContext.h"
#include "core/TFormView.h"
#include "net/LinkNotifier.h"
#include "net/SharedState.h"
#include "net/TradingLink.h"
#include "tests/support/FakeTradingServer.h"
#include "tests/support/GuiTestClient.h"
#include "tests/support/ModalRecorder.h"
#include "wire/Commands.h"

#include <QDialog>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <chrono>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <thread>

// What the main window does with the link's table notifications, reduced to what the
// account views need: every notification goes to the view in the right-hand pane. Tests
// call the parsers on the GUI thread, so the calls arrive directly.
class PaneNotifier final : public net::LinkNotifier {
public:
    QPointer<CTFormView> pane;

    bool HasMainFrame() const override { return true; }
    void NotifyTable(int message) override {
        if (!pane)
            return;
        switch (message) {
        case net::kMsgHistoryTableStored:
            pane->OnHistoryTableStored();
            break;
        case net::kMsgTodayTradesStored:
            pane->OnTodayTradesStored();
            break;
        case net::kMsgTodayOrdersStored:
            pane->OnTodayOrdersStored();
            break;
        default:
            break;
        }
    }
    void DeliverReply(int, std::string_view) override {}
    void PostReply(int, std::string) override {}
};

using tavix::test::ModalRecorder;

// The client as the account views need it: notifications go to the view in the pane, and
// the history tables exist.
struct AccountTestClient : tavix::test::GuiTestClient<PaneNotifier> {
    AccountTestClient() {
        state.historyOrders.Create();
        state.historyTrades.Create();
        state.fundsFlow.Create();
        state.settlement.Create();
    }
};
