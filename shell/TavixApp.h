#pragma once

#include "core/ClientContext.h"
#include "net/SharedState.h"
#include "net/TradingLink.h"
#include "shell/GuiNotifier.h"

#include <QStringList>

#include <memory>
#include <string>

class CMainFrame;

// The client for one run: the shared state, the trading link and the notifier that
// carries its notifications to the windows, the login dialog and then the main window.
class CTavixApp final {
public:
    CTavixApp();
    ~CTavixApp();
    CTavixApp(const CTavixApp&) = delete;
    CTavixApp& operator=(const CTavixApp&) = delete;

    // Reads "--server HOST[:PORT][,HOST[:PORT]...]" (the first is tried first, the others in
    // turn after it); false (with `error` set) for a bad command line.
    bool ParseArguments(const QStringList& arguments, QString* error);
    // The style stored under ApplicationLook and the client's font.
    static void ApplyLook();
    // Runs the login dialog, then the main window until it closes; the exit code.
    int Run();

    // "HOST[:PORT]" → host and port (9690 when omitted); false when malformed.
    static bool ParseServer(const QString& text, std::string* host, int* port);

    net::SharedState& State() { return m_state; }

private:
    net::SharedState m_state;
    CGuiNotifier m_notifier;
    net::TradingLink m_link;
    ClientContext m_context;
    std::unique_ptr<CMainFrame> m_frame;
};
