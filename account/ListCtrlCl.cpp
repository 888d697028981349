#include "account/ListCtrlCl.h"

#include "account/HeaderCtrlCl.h"

#include <QApplication>
#include <QPainter>
#include <QStyledItemDelegate>

namespace {

const QColor kSelectionFill(200, 240, 240);
const QColor kGridColour(192, 192, 192);
constexpr int kFixedRowHeight = 26;
constexpr int kTextInset = 5;

quint64 CellKey(int row, int column) {
    return (static_cast<quint64>(static_cast<quint32>(row)) << 32) | static_cast<quint32>(column);
}

// Draws every cell of the list: the selection fill, the cell's own colour and centred
// single-line text inset by 5 pixels. No focus frame, no style primitives: a fill and a text.
class ListCellDelegate final : public QStyledItemDelegate {
public:
    explicit ListCellDelegate(CListCtrlCl& list)
        : QStyledItemDelegate(&list)
        , m_list(list) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const int row = index.row();
        const int column = index.column();
        QRect background = option.rect;
        if (column == 0)
            background.setLeft(background.left() - 2);
        const bool selected = option.state & QStyle::State_Selected;
        painter->fillRect(background, selected ? kSelectionFill : m_list.palette().color(QPalette::Base));

        const QString& alignment = m_list.Header()->Alignment();
        int flags = Qt::TextSingleLine | Qt::AlignVCenter;
        const QChar align = column < alignment.size() ? alignment.at(column) : QChar(u'0');
        flags |= align == u'1' ? Qt::AlignHCenter : align == u'2' ? Qt::AlignRight : Qt::AlignLeft;

        painter->setPen(m_list.ItemTextColor(row, column));
        painter->setFont(m_list.font());
        const QRect text = option.rect.adjusted(kTextInset, 0, -kTextInset, 0);
        painter->drawText(text, flags, index.data(Qt::DisplayRole).toString());
    }

private:
    CListCtrlCl& m_list;
};

} // namespace

CListCtrlCl::CListCtrlCl(QWidget* parent)
    : QTableWidget(parent) {
    setFont(QApplication::font());
    m_header = new CHeaderCtrlCl(*this);
    setHorizontalHeader(m_header);
    verticalHeader()->hide();
    setShowGrid(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setSortingEnabled(false);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setItemDelegate(new ListCellDelegate(*this));

    connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid())
            emit rowDoubleClicked(index.row());
    });
    // A column width that changes repaints the whole list, grid lines included.
    connect(m_header, &QHeaderView::sectionResized, this, [this] { viewport()->update(); });
}

CListCtrlCl::~CListCtrlCl() = default;

void CListCtrlCl::SetRowHeight() {
    m_rowHeight = kFixedRowHeight;
    QHeaderView* rows = verticalHeader();
    rows->setMinimumSectionSize(1);
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(m_rowHeight);
    for (int row = 0; row < rowCount(); ++row)
        setRowHeight(row, m_rowHeight);
    updateGeometries();
}

void CListCtrlCl::AddColumn(int index, const QString& title, int width) {
    m_header->AddTitle(title, u'1');
    insertColumn(index);
    auto* item = new QTableWidgetItem(title);
    item->setTextAlignment(Qt::AlignCenter);
    setHorizontalHeaderItem(index, item);
    m_header->setSectionResizeMode(index, m_fixedColumns ? QHeaderView::Fixed : QHeaderView::Interactive);
    setColumnWidth(index, width);
    updateGeometries();
}

void CListCtrlCl::AddColumns(const std::vector<Column>& columns) {
    for (const Column& c : columns)
        AddColumn(columnCount(), c.title, c.width);
}

void CListCtrlCl::SetItemTextColor(int column, int row, const QColor& colour) {
    const quint64 key = CellKey(row, column);
    const auto found = m_colourIndex.constFind(key);
    if (found != m_colourIndex.constEnd()) {
        m_colours[*found].colour = colour;
    } else {
        m_colourIndex.insert(key, m_colours.size());
        m_colours.push_back(ColourEntry{row, column, colour});
    }
    if (row < rowCount())
        viewport()->update();
}

QColor CListCtrlCl::ItemTextColor(int row, int column) const {
    const auto found = m_colourIndex.constFind(CellKey(row, column));
    return found != m_colourIndex.constEnd() ? m_colours[*found].colour : QColor(Qt::black);
}

int CListCtrlCl::InsertItem(int row, const QString& text) {
    const int at = std::clamp(row, 0, rowCount());
    insertRow(at);
    SetItemText(at, 0, text);
    return at;
}

void CListCtrlCl::SetItemText(int row, int column, const QString& text) {
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount())
        return;
    if (QTableWidgetItem* cell = item(row, column)) {
        cell->setText(text);
        return;
    }
    auto* cell = new QTableWidgetItem(text);
    cell->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    setItem(row, column, cell);
}

QString CListCtrlCl::GetItemText(int row, int column) const {
    const QTableWidgetItem* cell = item(row, column);
    return cell ? cell->text() : QString();
}

int CListCtrlCl::GetFirstSelectedItem() const {
    int first = -1;
    for (const QModelIndex& index : selectionModel()->selectedRows())
        if (first < 0 || index.row() < first)
            first = index.row();
    return first;
}

void CListCtrlCl::DeleteAllItems() {
    setRowCount(0);
}

void CListCtrlCl::paintEvent(QPaintEvent* event) {
    QTableWidget::paintEvent(event);
    QPainter painter(viewport());
    painter.setPen(kGridColour);
    const int width = viewport()->width();
    const int height = viewport()->height();
    // Vertical rules end at the first column that reaches the right edge; columns scrolled
    // off to the left still advance x.
    int x = -horizontalOffset();
    for (int visual = 0; visual < m_header->count(); ++visual) {
        const int logical = m_header->logicalIndex(visual);
        if (m_header->isSectionHidden(logical))
            continue;
        x += m_header->sectionSize(logical);
        if (x >= width)
            break;
        painter.drawLine(x - 1, 0, x - 1, height);
    }
    if (rowCount() == 0)
        return;
    const int rowStep = rowHeight(0);
    if (rowStep <= 0)
        return;
    for (int k = 1; k <= height / rowStep; ++k)
        painter.drawLine(0, k * rowStep, width, k * rowStep);
}
