#pragma once

#include "controls/ModalHook.h"
#include "core/ClientContext.h"
#include "net/LinkNotifier.h"
#include "net/SharedState.h"
#include "net/TradingLink.h"
#include "tests/support/FakeTradingServer.h"
#include "tests/support/GuiTestClient.h"
#include "tests/support/ModalRecorder.h"
#include "tests/support/RecordingNotifier.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace tavix::test {

using tavix::test::RecordingFrame;

// The client as the positions tests need it: connected at once, with a recording notifier
// and main window.
class GuiTestEnv final : public GuiTestClient<RecordingNotifier> {
public:
    GuiTestEnv()
        : GuiTestClient({.connect = true, .withFrame = true, .user = "tester", .password = "secret"}) {}
};

// Texts in the tests' source are UTF-8; the tables hold GBK.
std::string Gbk(const QString& text);

} // namespace tavix::test
