#include "shell/LeftView.h"

#include "controls/Dlu.h"
#include "shell/TreeImages.h"

#include <QApplication>
#include <QFontInfo>
#include <QHeaderView>
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
    {u"买入[F1]", false, 0, 0}, {u"卖出[F2]", false, 1, 1}, {u"撤单[F3]", false, 2, 2}, {u"查询[F4]", false, 9, 6},
    {u"资金股票", true, 5, 5},  {u"当日委托", true, 5, 5},  {u"当日成交", true, 5, 5},  {u"历史委托", true, 5, 5},
    {u"历史成交", true, 5, 5},  {u"资金明细", true, 5, 5},  {u"交 割 单", true, 5, 5},  {u"修改密码", false, 10, 14},
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
    if (QTreeWidgetItem* funds = FindItem(QStringLiteral("资金股票")))
        m_wndTree->setCurrentItem(funds);
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

bool CLeftView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_wndTree->viewport() && event->type() == QEvent::MouseButtonPress) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton) {
            OnTreeClick(mouse->position().toPoint());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void CLeftView::OnTreeClick(const QPoint& viewportPos) {
    QTreeWidgetItem* item = m_wndTree->itemAt(viewportPos);
    m_wndTree->setFocus(Qt::MouseFocusReason);
    if (!item) {
        m_wndTree->clearSelection();
        m_wndTree->setCurrentItem(nullptr);
        emit functionChosen(QString());
        return;
    }
    m_wndTree->setCurrentItem(item);
    item->setExpanded(true);
    if (item->childCount() == 0)
        emit functionChosen(item->text(0));
}

void CLeftView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    m_wndTree->setGeometry(rect());
}
