#pragma once

#include "controls/ModalHook.h"
#include "core/ClientContext.h"
#include "net/LinkTimings.h"
#include "net/SharedState.h"
#include "net/TradingLink.h"
#include "shell/GuiNotifier.h"
#include "tests/support/FakeTradingServer.h"
#include "tests/support/GuiTestClient.h"
#include "tests/support/LinkTimingPresets.h"
#include "tests/support/ModalRecorder.h"

#include <QDialog>
#include <QList>
#include <QStringList>
#include <QTest>

#include <chrono>
#include <functional>
#include <set>
#include <vector>

using namespace std::chrono_literals;

using tavix::test::ModalRecorder;

// The client as the shell tests need it: the program's own notifier, quick reconnection,
// no credentials until a login stores them.
struct ShellTestClient : tavix::test::GuiTestClient<CGuiNotifier> {
    static net::LinkTimings Timings() { return tavix::test::WindowTimings(); }

    explicit ShellTestClient(bool connect = true, const net::LinkTimings& timings = Timings())
        : GuiTestClient({.connect = false, .withFrame = false, .user = "", .password = "", .timings = timings}) {
        if (connect)
            QVERIFY(Connect());
    }
};
