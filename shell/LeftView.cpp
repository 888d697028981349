#include "shell/LeftView.h"

#include "controls/Dlu.h"
#include "shell/TreeImages.h"

#include <QApplication>
#include <QFontInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTreeWidget>

namespace {

struct TreeEntry {
    const char16_t* label;
    bool child;
    int image;
    int selectedImage;
};

constexpr TreeEntry kEntries[] = {
    {u"买入[F1]", false, 0, 0},   {u"卖出[F2]", false, 1, 1}, {u"撤单[F3]", false, 2, 2},
    {u"查询[F4]", false, 9, 6},   {u"资金股票", true, 5, 5},  {u"当日委托", true, 5, 5},
    {u"当日成交", true, 5, 5},    {u"历史委托", true, 5, 5},  {u"历史成交", true, 5, 5},
    {u"资金明细", true, 5, 5},    {u"交 割 单", true, 5, 5},  {u"大赛排名[F6]", false, 9, 6},
    {u"修改密码", false, 10, 14}, {u"行情", false, 9, 6},     {u"行情报价", true, 5, 5},
    {u"自选股", true, 5, 5},
};

} // namespace

CLeftView::CLeftView(QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("id314"));
    resize(DluX(80), DluY(150));
    m_wndTree = new QTreeWidget(this);
    m_wndTree->setObjectName(QStringLiteral("id1000"));
    m_wndTree->setHeaderHidden(true);
    m_wndTree->setRootIsDecorated(false);
    m_wndTree->setItemsExpandable(true);
    m_wndTree->setSelectionMode(QAbstractItemView::SingleSelection);
    m_wndTree->setFocusPolicy(Qt::StrongFocus);
    m_wndTree->setIconSize(QSize(20, 20));
    m_wndTree->viewport()->installEventFilter(this);
    m_wndTree->installEventFilter(this);
    m_wndTree->setExpandsOnDoubleClick(false);
    connect(m_wndTree, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current) { OnCurrentItemChanged(current); });

    // The message font, 1.1 times as tall.
    m_treeFont = QApplication::font();
    m_treeFont.setPixelSize(static_cast<int>(QFontInfo(m_treeFont).pixelSize() * 1.1));
}

void CLeftView::OnInitialUpdate() {
    if (!m_firstUpdate)
        return;
    m_firstUpdate = false;
    FillTree();
    if (QTreeWidgetItem* query = FindItem(QStringLiteral("查询[F4]")))
        query->setExpanded(true);
    if (QTreeWidgetItem* market = FindItem(QStringLiteral("行情")))
        market->setExpanded(true);
    if (QTreeWidgetItem* funds = FindItem(QStringLiteral("资金股票")))
        SetCurrentQuietly(funds);
    m_wndTree->setGeometry(rect());
}

void CLeftView::FillTree() {
    QPalette palette = m_wndTree->palette();
    palette.setColor(QPalette::Base, QColor(240, 240, 240));
    m_wndTree->setPalette(palette);
    m_wndTree->setFont(m_treeFont);

    const QPixmap strip = TreeImageStrip();
    QTreeWidgetItem* group = nullptr;
    for (const TreeEntry& entry : kEntries) {
        const QString label = QString::fromUtf16(entry.label);
        auto* item = entry.child && group ? new QTreeWidgetItem(group) : new QTreeWidgetItem(m_wndTree);
        item->setText(0, label);
        item->setIcon(0, TreeIcon(strip, entry.image, entry.selectedImage));
        if (!entry.child)
            group = item;
    }
}

QTreeWidgetItem* CLeftView::FindItem(const QString& label) const {
    const auto found = m_wndTree->findItems(label, Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.first();
}

bool CLeftView::HasSelection() const {
    return !m_wndTree->selectedItems().isEmpty();
}

void CLeftView::SetCurrentQuietly(QTreeWidgetItem* item) {
    m_quiet = true;
    m_wndTree->setCurrentItem(item);
    m_quiet = false;
}

void CLeftView::Highlight(const QString& label) {
    if (QTreeWidgetItem* item = FindItem(label)) {
        if (QTreeWidgetItem* parent = item->parent())
            parent->setExpanded(true);
        SetCurrentQuietly(item);
    }
}

void CLeftView::Choose(const QString& label) {
    QTreeWidgetItem* item = FindItem(label);
    if (!item)
        return;
    Highlight(label);
    if (item->childCount() == 0)
        emit functionChosen(label);
    else
        item->setExpanded(true);
}

void CLeftView::OnCurrentItemChanged(QTreeWidgetItem* current) {
    // The keyboard moved the highlight: a leaf opens at once; a group opens nothing.
    if (m_quiet || !current || current->childCount() != 0)
        return;
    m_arrowChoice = true;
    emit functionChosen(current->text(0));
    m_arrowChoice = false;
}

bool CLeftView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_wndTree && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            if (QTreeWidgetItem* item = m_wndTree->currentItem()) {
                if (item->childCount() != 0)
                    item->setExpanded(!item->isExpanded());
                else
                    emit functionChosen(item->text(0));
            }
            return true;
        }
        return QWidget::eventFilter(watched, event);
    }
    if (watched != m_wndTree->viewport())
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        // Only the left button selects; the right one opens the context menu and the
        // middle one does nothing.
        if (mouse->button() != Qt::LeftButton)
            return true;
        if (event->type() == QEvent::MouseButtonPress) {
            OnTreeClick(mouse->position().toPoint());
            return true;
        }
        if (event->type() == QEvent::MouseButtonDblClick) {
            OnTreeDoubleClick(mouse->position().toPoint());
            return true;
        }
        break;
    }
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void CLeftView::OnTreeClick(const QPoint& viewportPos) {
    QTreeWidgetItem* item = m_wndTree->itemAt(viewportPos);
    m_wndTree->setFocus(Qt::MouseFocusReason);
    m_expandedByPress = nullptr;
    if (!item) {
        m_wndTree->clearSelection();
        SetCurrentQuietly(nullptr);
        emit functionChosen(QString());
        return;
    }
    SetCurrentQuietly(item);
    if (item->childCount() != 0 && !item->isExpanded())
        m_expandedByPress = item;
    item->setExpanded(true);
    if (item->childCount() == 0)
        emit functionChosen(item->text(0));
}

void CLeftView::OnTreeDoubleClick(const QPoint& viewportPos) {
    // A double-click on the group toggles it: the first click opened a closed group and
    // leaves it open; on an open group the second click closes it.
    QTreeWidgetItem* item = m_wndTree->itemAt(viewportPos);
    if (item && item->childCount() != 0 && item != m_expandedByPress)
        item->setExpanded(false);
    m_expandedByPress = nullptr;
}

void CLeftView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    m_wndTree->setGeometry(rect());
}
