#pragma once

#include <QWidget>

struct ClientContext;

// Base of every view in the main window's right-hand pane. A view is created when its
// function is chosen and destroyed when another replaces it; after creation the main
// window calls OnInitialUpdate() once. The main window delivers the link's notifications
// through the virtual hooks below; a view overrides those it reacts to.
class CTFormView : public QWidget {
    Q_OBJECT
public:
    explicit CTFormView(ClientContext& context, QWidget* parent = nullptr);
    ~CTFormView() override;

    ClientContext& Context() const { return m_context; }

    virtual void OnInitialUpdate() {}
    // A history table was stored (refresh message 1124).
    virtual void OnHistoryTableStored() {}
    // The main window got the focus (message 1127): redraw embedded lists.
    virtual void OnRedrawPanels() {}
    // Routed by the main window by the current function's label (messages 1128–1130).
    virtual void OnPositionsStored() {}
    virtual void OnTodayTradesStored() {}
    virtual void OnTodayOrdersStored() {}
    // The funds record was stored; every view hears it.
    virtual void OnFundsStored() {}
    // An answer about the contest's standings was stored (commands 23 and 24).
    virtual void OnStandingStored() {}
    // F5: the view's refresh button ("刷 新") where it has one, else a refill as on 1124.
    virtual void OnRefreshKey();

protected:
    void paintEvent(QPaintEvent* event) override;   // light grey RGB(240, 240, 240)
    void resizeEvent(QResizeEvent* event) override; // repaint the whole view

private:
    ClientContext& m_context;
};
