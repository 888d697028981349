#include "account/ListCtrlCl.h"

#include "account/HeaderCtrlCl.h"

#include <QApplication>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTimer>

namespace {

const QColor kSelectionFill(200, 240, 240);
const QColor kGridColour(192, 192, 192);
constexpr int kFixedRowHeight = 26;
constexpr int kTextInset = 5;

// Item data: the colour set on the cell, and the row's insertion serial (tie-break).
constexpr int kColourRole = Qt::UserRole + 1;
constexpr int kSerialRole = Qt::UserRole + 2;

// A cell that sorts by CompareCells, equal cells by their row's insertion serial.
class ListItem final : public QTableWidgetItem {
public:
    ListItem(const QString& text, quint64 serial)
        : QTableWidgetItem(text) {
        setData(kSerialRole, serial);
    }
    bool operator<(const QTableWidgetItem& other) const override {
        const int order = CListCtrlCl::CompareCells(text(), other.text());
        if (order != 0)
            return order < 0;
        return data(kSerialRole).toULongLong() < other.data(kSerialRole).toULongLong();
    }
};

// The text as a number: optional sign, digits, one decimal point, an optional trailing
// "%"; thousands separators are accepted.
bool AsNumber(const QString& text, double* value) {
    QString t = text.trimmed();
    if (t.endsWith(u'%'))
        t.chop(1);
    t.remove(u',');
    if (t.isEmpty())
        return false;
    bool ok = false;
    *value = t.toDouble(&ok);
    return ok;
}

QString WithoutLeadingZeros(QString digits) {
    qsizetype k = 0;
    while (k + 1 < digits.size() && digits.at(k) == u'0')
        ++k;
    return digits.sliced(k);
}

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
    connect(m_header, &QHeaderView::sectionResized, this, [this](int column, int, int width) {
        if (!m_fitting && column < static_cast<int>(m_givenWidths.size()))
            m_givenWidths[static_cast<std::size_t>(column)] = width;
        viewport()->update();
    });
    connect(m_header, &QHeaderView::sectionClicked, this, &CListCtrlCl::OnHeaderClicked);
    connect(model(), &QAbstractItemModel::rowsInserted, this, &CListCtrlCl::QueueSort);
    // New rows may need more room than squeezed columns give: fitted again once they are in.
    connect(model(), &QAbstractItemModel::rowsInserted, this, [this] {
        if (m_givenWidths.empty() || m_fitQueued)
            return;
        m_fitQueued = true;
        QTimer::singleShot(0, this, [this] {
            m_fitQueued = false;
            FitColumns();
        });
    });
    connect(model(), &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& topLeft, const QModelIndex& bottomRight) {
                if (m_sortColumn >= topLeft.column() && m_sortColumn <= bottomRight.column())
                    QueueSort();
            });
}

int CListCtrlCl::CompareCells(const QString& a, const QString& b) {
    double x = 0;
    double y = 0;
    if (AsNumber(a, &x) && AsNumber(b, &y))
        return x < y ? -1 : (y < x ? 1 : 0);
    // Dates and times ("2026-1-5", "9:30:00") and mixed text: runs of digits compare as
    // numbers, everything else as text.
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (a.at(i).isDigit() && b.at(j).isDigit()) {
            qsizetype ie = i;
            qsizetype je = j;
            while (ie < a.size() && a.at(ie).isDigit())
                ++ie;
            while (je < b.size() && b.at(je).isDigit())
                ++je;
            const QString sa = WithoutLeadingZeros(a.mid(i, ie - i));
            const QString sb = WithoutLeadingZeros(b.mid(j, je - j));
            // More significant digits is the larger number; equal lengths compare digit-wise.
            if (sa.size() != sb.size())
                return sa.size() < sb.size() ? -1 : 1;
            if (const int c = sa.compare(sb); c != 0)
                return c < 0 ? -1 : 1;
            i = ie;
            j = je;
            continue;
        }
        if (const int c = QString::localeAwareCompare(a.mid(i, 1), b.mid(j, 1)); c != 0)
            return c < 0 ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size())
        return 1;
    if (j < b.size())
        return -1;
    return 0;
}

int CListCtrlCl::ContentWidth(int column) const {
    const QFontMetrics cells(font());
    const QFontMetrics titles(m_header->font());
    int needed = 0;
    if (column < m_header->Titles().size())
        needed = titles.horizontalAdvance(m_header->Titles().at(column)) + 2 * kTextInset;
    for (int row = 0; row < rowCount(); ++row)
        needed = std::max(needed, cells.horizontalAdvance(GetItemText(row, column)) + 2 * kTextInset + 2);
    return needed;
}

void CListCtrlCl::WidenColumnToContents(int column) {
    if (column < 0 || column >= columnCount())
        return;
    const int needed = ContentWidth(column);
    if (needed > columnWidth(column))
        setColumnWidth(column, needed);
}

void CListCtrlCl::FitColumnsToWidth() {
    m_givenWidths.clear();
    for (int column = 0; column < columnCount(); ++column)
        m_givenWidths.push_back(columnWidth(column));
    if (isVisible())
        FitColumns();
}

void CListCtrlCl::FitColumns() {
    if (m_givenWidths.size() != static_cast<std::size_t>(columnCount()))
        return;
    std::vector<int> widths = m_givenWidths;
    std::vector<int> room(widths.size());
    long long total = 0;
    long long roomTotal = 0;
    for (std::size_t c = 0; c < widths.size(); ++c) {
        room[c] = std::max(0, widths[c] - ContentWidth(static_cast<int>(c)));
        total += widths[c];
        roomTotal += room[c];
    }
    const long long excess = total - viewport()->width();
    if (excess > 0 && roomTotal > 0) {
        for (std::size_t c = 0; c < widths.size(); ++c) // rounded up: the sum never exceeds the width
            widths[c] -= static_cast<int>(std::min<long long>(room[c], (excess * room[c] + roomTotal - 1) / roomTotal));
    }
    m_fitting = true;
    for (std::size_t c = 0; c < widths.size(); ++c)
        if (columnWidth(static_cast<int>(c)) != widths[c])
            setColumnWidth(static_cast<int>(c), widths[c]);
    m_fitting = false;
}

void CListCtrlCl::resizeEvent(QResizeEvent* event) {
    QTableWidget::resizeEvent(event);
    FitColumns();
}

void CListCtrlCl::SortByColumn(int column, Qt::SortOrder order) {
    m_sortColumn = column;
    m_sortOrder = order;
    m_header->viewport()->update();
    if (column >= 0)
        sortItems(column, order);
}

void CListCtrlCl::OnHeaderClicked(int column) {
    const Qt::SortOrder order =
        column == m_sortColumn && m_sortOrder == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    SortByColumn(column, order);
}

void CListCtrlCl::QueueSort() {
    if (m_sortColumn < 0 || m_sortQueued)
        return;
    m_sortQueued = true;
    QTimer::singleShot(0, this, [this] {
        m_sortQueued = false;
        if (m_sortColumn >= 0 && m_sortColumn < columnCount())
            sortItems(m_sortColumn, m_sortOrder);
    });
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
    // The colour also goes with the cell, so that it follows its row when the list sorts.
    if (QTableWidgetItem* cell = item(row, column)) {
        const QSignalBlocker quiet(model()); // a colour is no reason to sort again
        cell->setData(kColourRole, colour);
    }
    if (row < rowCount())
        viewport()->update();
}

QColor CListCtrlCl::ItemTextColor(int row, int column) const {
    if (const QTableWidgetItem* cell = item(row, column)) {
        const QVariant own = cell->data(kColourRole);
        if (own.isValid())
            return own.value<QColor>();
    }
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
    // Cells of one row share its serial: its place in the fill that made it.
    auto* cell = new ListItem(text, static_cast<quint64>(row));
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
