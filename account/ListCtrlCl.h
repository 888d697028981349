#pragma once

#include <QColor>
#include <QHash>
#include <QString>
#include <QTableWidget>

#include <vector>

class CHeaderCtrlCl;

// The one list of every table in the client: report style, rows drawn by the list itself
// with a fixed row height, a taller header with a light blue-grey background, grey grid
// lines, centred single-line cell text, a light cyan selection bar and per-cell text
// colours that stay with a row index (entries are never removed, not even when the rows
// are deleted, so a colour stays until it is set again).
//
// Set-up order used by every view: m_headerHeightFactor = 1.5; SetRowHeight();
// m_fixedColumns = true; AddColumn(0, ...), AddColumn(1, ...), ...; m_headerTopLine = true
// (where the view has a top rule). Rows: InsertItem / SetItemText / GetItemText.
//
// A click on a column title sorts the rows by that column (again: the other way round):
// numbers as numbers, dates and times by their numeric parts, other text as text. The
// order is kept across refills: after the rows change, the list sorts itself again once
// control returns to the event loop. Rows that compare equal keep their insertion order
// (reversed when descending, so the newest of equal rows comes first). Cell colours set
// on existing cells travel with their rows.
class CListCtrlCl : public QTableWidget {
    Q_OBJECT
public:
    explicit CListCtrlCl(QWidget* parent = nullptr);
    ~CListCtrlCl() override;

    // Set-up fields (set before or right after the columns are added).
    float m_headerHeightFactor = 1.0f;
    bool m_fixedColumns = false;
    bool m_headerTopLine = false;

    // Row height 26 px for every row, taking effect at once.
    void SetRowHeight();
    // Appends a centred column `index` with `title` and `width` pixels.
    void AddColumn(int index, const QString& title, int width);
    struct Column {
        QString title;
        int width;
    };
    // Appends `columns` in order, each with AddColumn.
    void AddColumns(const std::vector<Column>& columns);

    // The colour of cell (row, column): the entry of that cell, or black.
    void SetItemTextColor(int column, int row, const QColor& colour);
    QColor ItemTextColor(int row, int column) const;
    std::size_t ColourEntryCount() const { return m_colours.size(); }

    // The list operations the views use (names kept from the original design).
    int InsertItem(int row, const QString& text); // inserts a row; returns its index
    void SetItemText(int row, int column, const QString& text);
    QString GetItemText(int row, int column) const;
    int GetItemCount() const { return rowCount(); }
    int GetFirstSelectedItem() const; // −1 when no row is selected
    void DeleteAllItems();

    // Widens `column` (never narrows it) so that its title and every cell show whole.
    void WidenColumnToContents(int column);
    // From now on the columns are squeezed into the list's width when their widths add up to
    // more, each in proportion to its room above what its title and cells need (never below
    // that); the widths come back as the list widens. A column the user drags keeps its width.
    void FitColumnsToWidth();

    // Sorts by `column` now and after every refill; −1 switches sorting off.
    void SortByColumn(int column, Qt::SortOrder order);
    int SortColumn() const { return m_sortColumn; }
    Qt::SortOrder SortOrder() const { return m_sortOrder; }
    // <0, 0, >0 as `a` sorts before, with, after `b`.
    static int CompareCells(const QString& a, const QString& b);

    CHeaderCtrlCl* Header() const { return m_header; }
    int RowHeightSetting() const { return m_rowHeight; }

protected:
    void paintEvent(QPaintEvent* event) override; // rows, then the grid lines
    void resizeEvent(QResizeEvent* event) override;

signals:
    // A row was double-clicked (the row is selected first).
    void rowDoubleClicked(int row);

private:
    struct ColourEntry {
        int row;
        int column;
        QColor colour;
    };
    std::vector<ColourEntry> m_colours;
    QHash<quint64, std::size_t> m_colourIndex; // (row, column) → position in m_colours
    CHeaderCtrlCl* m_header = nullptr;
    int m_rowHeight = 0;
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    bool m_sortQueued = false;
    std::vector<int> m_givenWidths; // the columns' widths before squeezing; empty: no fitting
    bool m_fitting = false;
    bool m_fitQueued = false;
    void QueueSort();
    int ContentWidth(int column) const;
    void FitColumns();
    void OnHeaderClicked(int column);
};
