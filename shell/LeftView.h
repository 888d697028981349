#pragma once

#include <QFont>
#include <QString>
#include <QWidget>

class QTreeWidget;
class QTreeWidgetItem;

// The left pane of the main window: the tree of the client's functions. A mouse click on
// a leaf chooses its function; a click on empty space clears the selection and chooses
// the empty label. Moving the selection with the keyboard chooses nothing.
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

signals:
    void functionChosen(const QString& label);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void FillTree();
    void OnTreeClick(const QPoint& viewportPos);

    QTreeWidget* m_wndTree = nullptr;
    QFont m_treeFont;
    bool m_firstUpdate = true;
};
