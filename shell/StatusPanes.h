#pragma once

#include <QColor>
#include <QStatusBar>
#include <QString>

#include <array>

// The main window's status bar: seven panes side by side, each with its own width, text
// and text colour, drawn as sunken fields from the left edge. A text wider than its pane
// ends in "…".
class CStatusPanes final : public QStatusBar {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CStatusPanes)
public:
    static constexpr int kPaneCount = 7;

    explicit CStatusPanes(QWidget* parent = nullptr);

    void SetPaneText(int pane, const QString& text);
    void SetPaneWidth(int pane, int width);
    void SetPaneColor(int pane, const QColor& colour);
    QString PaneText(int pane) const { return m_panes.at(pane).text; }
    int PaneWidth(int pane) const { return m_panes.at(pane).width; }
    QColor PaneColor(int pane) const { return m_panes.at(pane).colour; }
    // The pane under `pos` (widget coordinates), or −1.
    int PaneAt(const QPoint& pos) const;
    // The width that shows `pane`'s text whole.
    int NeededWidth(int pane) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    // A pane's new text is wider than the pane.
    void textOutgrown();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Pane {
        QString text;
        int width = 0;
        QColor colour; // invalid: the palette's text colour
    };
    QRect PaneRect(int pane) const;

    std::array<Pane, kPaneCount> m_panes;
};
