#pragma once

#include <QFont>
#include <QString>
#include <QWidget>

class QTreeWidget;
class QTreeWidgetItem;

// The left pane of the main window: the tree of the client's functions. A left click on a
// leaf chooses its function; a left click on empty space clears the selection and chooses
// the empty label. Moving the highlight onto a leaf with the keyboard chooses it as well,
// so the right pane always shows what the highlight names; Enter chooses the highlighted
// leaf or opens and closes the group. Right and middle clicks leave the selection alone.
class CLeftView final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CLeftView)
public:
    explicit CLeftView(QWidget* parent = nullptr);

    // Fills the tree on the first call only.
    void OnInitialUpdate();

    QTreeWidget* Tree() const { return m_wndTree; }
    bool HasSelection() const;
    // The item with this label, or nullptr.
    QTreeWidgetItem* FindItem(const QString& label) const;
    // Moves the highlight to `label` and chooses it, as a click on it would.
    void Choose(const QString& label);
    // True while a choice made by moving the highlight with the keyboard is announced.
    bool ChoosingByArrow() const { return m_arrowChoice; }
    // Moves the highlight to `label` without choosing anything.
    void Highlight(const QString& label);

signals:
    void functionChosen(const QString& label);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void FillTree();
    void OnTreeClick(const QPoint& viewportPos);
    void OnTreeDoubleClick(const QPoint& viewportPos);
    void OnCurrentItemChanged(QTreeWidgetItem* current);
    void SetCurrentQuietly(QTreeWidgetItem* item);

    QTreeWidget* m_wndTree = nullptr;
    QFont m_treeFont;
    bool m_firstUpdate = true;
    bool m_arrowChoice = false;
    bool m_quiet = false;                         // the program moves the highlight
    QTreeWidgetItem* m_expandedByPress = nullptr; // a group the first click of a double-click opened
};
