#include "account/HeaderCtrlCl.h"
#include "account/ListCtrlCl.h"

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>

namespace {
const QColor kRed(255, 0, 0);
const QColor kBlue(0, 0, 255);

void SetUpLikeAView(CListCtrlCl& list, int columns, int width = 80) {
    list.m_headerHeightFactor = 1.5f;
    list.SetRowHeight();
    list.m_fixedColumns = true;
    for (int i = 0; i < columns; ++i)
        list.AddColumn(i, QStringLiteral("列%1").arg(i), width);
    list.m_headerTopLine = true;
}

void Fill(CListCtrlCl& list, int rows) {
    list.DeleteAllItems();
    for (int r = 0; r < rows; ++r) {
        const int row = list.InsertItem(r, QString::number(r));
        for (int c = 1; c < list.columnCount(); ++c)
            list.SetItemText(row, c, QStringLiteral("%1-%2").arg(r).arg(c));
    }
}
} // namespace

class TestListCtrl final : public QObject {
    Q_OBJECT
private slots:
    void colourEntriesAreOnePerCellAndOutliveRows();
    void headerHeightScalesByFactor();
    void rowHeightAppliesAtOnce();
    void fixedColumnsRefuseDividerDragAndDoubleClick();
    void titlesAndAlignmentFollowAddColumn();
    void selectionAndDoubleClick();
    void selectedRowKeepsTextColourOnCyanFill();
    void gridLinesOnlyWithRowsAndUpToRightEdge();
    void headerClickSortsNumbersDatesAndTimes();
    void sortOrderSurvivesRefillsAndColoursTravel();
    void columnsCanBeResizedByDragging();
};

void TestListCtrl::colourEntriesAreOnePerCellAndOutliveRows() {
    CListCtrlCl list;
    SetUpLikeAView(list, 3);
    Fill(list, 5);
    QCOMPARE(list.ItemTextColor(2, 1), QColor(Qt::black));

    list.SetItemTextColor(1, 2, kRed);
    list.SetItemTextColor(1, 2, kBlue);
    QCOMPARE(list.ColourEntryCount(), std::size_t{1});
    QCOMPARE(list.ItemTextColor(2, 1), kBlue);
    QCOMPARE(list.ItemTextColor(1, 2), QColor(Qt::black)); // (column, row) order is not swapped

    for (int r = 0; r < 5; ++r)
        for (int c = 0; c < 3; ++c)
            list.SetItemTextColor(c, r, kRed);
    QCOMPARE(list.ColourEntryCount(), std::size_t{15});

    // Delete and refill with fewer rows: the colours stay with the row indices.
    Fill(list, 2);
    QCOMPARE(list.ColourEntryCount(), std::size_t{15});
    QCOMPARE(list.ItemTextColor(1, 2), kRed);
    QCOMPARE(list.ItemTextColor(4, 0), kRed);
    list.SetItemTextColor(0, 1, kBlue);
    QCOMPARE(list.ItemTextColor(1, 0), kBlue);
    QCOMPARE(list.ColourEntryCount(), std::size_t{15});
}

void TestListCtrl::headerHeightScalesByFactor() {
    QCOMPARE(CHeaderCtrlCl::ScaledHeight(20, 1.5f), 30);
    QCOMPARE(CHeaderCtrlCl::ScaledHeight(21, 1.5f), 31); // truncated toward zero
    QCOMPARE(CHeaderCtrlCl::ScaledHeight(20, 1.0f), 20);

    CListCtrlCl plain;
    plain.AddColumn(0, QStringLiteral("代码"), 80);
    CListCtrlCl tall;
    SetUpLikeAView(tall, 1);
    plain.resize(300, 200);
    tall.resize(300, 200);
    plain.show();
    tall.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tall));
    const int base = plain.Header()->height();
    QVERIFY(base > 0);
    // One and a half times the plain height, any half pixel dropped (20 -> 30, 21 -> 31).
    QCOMPARE(tall.Header()->height(), base + base / 2);
    // The rows start right under the taller header.
    QCOMPARE(tall.viewport()->geometry().top(), tall.Header()->geometry().bottom() + 1);
}

void TestListCtrl::rowHeightAppliesAtOnce() {
    CListCtrlCl list;
    list.AddColumn(0, QStringLiteral("代码"), 80);
    Fill(list, 3);
    list.SetRowHeight();
    QCOMPARE(list.RowHeightSetting(), 26);
    for (int r = 0; r < 3; ++r)
        QCOMPARE(list.rowHeight(r), 26);
    Fill(list, 4);
    QCOMPARE(list.rowHeight(3), 26);
}

void TestListCtrl::fixedColumnsRefuseDividerDragAndDoubleClick() {
    CListCtrlCl list;
    SetUpLikeAView(list, 3, 100);
    list.resize(400, 200);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    CHeaderCtrlCl* header = list.Header();
    const QPoint divider(99, header->height() / 2);

    QTest::mousePress(header->viewport(), Qt::LeftButton, {}, divider);
    QMouseEvent move(QEvent::MouseMove, QPointF(divider + QPoint(40, 0)),
                     header->viewport()->mapToGlobal(QPointF(divider + QPoint(40, 0))), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(header->viewport(), &move);
    QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, divider + QPoint(40, 0));
    QTest::mouseDClick(header->viewport(), Qt::LeftButton, {}, divider);
    QCOMPARE(list.columnWidth(0), 100);

    // Without the flag the same drag resizes the column (so the gesture above is real).
    list.m_fixedColumns = false;
    QTest::mousePress(header->viewport(), Qt::LeftButton, {}, divider);
    QApplication::sendEvent(header->viewport(), &move);
    QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, divider + QPoint(40, 0));
    QVERIFY(list.columnWidth(0) != 100);
}

void TestListCtrl::titlesAndAlignmentFollowAddColumn() {
    CListCtrlCl list;
    SetUpLikeAView(list, 4);
    QCOMPARE(list.Header()->Titles().size(), 4);
    QCOMPARE(list.Header()->Titles().at(2), QStringLiteral("列2"));
    QCOMPARE(list.Header()->Alignment(), QStringLiteral("1111"));
    QCOMPARE(list.columnCount(), 4);
    QCOMPARE(list.columnWidth(3), 80);
}

void TestListCtrl::selectionAndDoubleClick() {
    CListCtrlCl list;
    SetUpLikeAView(list, 3);
    Fill(list, 4);
    list.resize(400, 300);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    QCOMPARE(list.GetFirstSelectedItem(), -1);
    QSignalSpy spy(&list, &CListCtrlCl::rowDoubleClicked);
    const QPoint cell = list.visualRect(list.model()->index(2, 1)).center();
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, cell);
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, cell);
    QCOMPARE(list.GetFirstSelectedItem(), 2);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toInt(), 2);
    QCOMPARE(list.GetItemText(2, 1), QStringLiteral("2-1"));
    QVERIFY(!(list.item(2, 1)->flags() & Qt::ItemIsEditable));

    // Double-clicking below the last row neither selects nor signals.
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, QPoint(10, list.viewport()->height() - 3));
    QCOMPARE(spy.count(), 1);
}

void TestListCtrl::selectedRowKeepsTextColourOnCyanFill() {
    CListCtrlCl list;
    SetUpLikeAView(list, 1, 200);
    list.DeleteAllItems();
    list.InsertItem(0, QStringLiteral("██████"));
    list.SetItemTextColor(0, 0, kRed);
    list.resize(260, 150);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    list.selectRow(0);
    const QImage image = list.viewport()->grab().toImage();
    const QRect cell = list.visualRect(list.model()->index(0, 0));
    QCOMPARE(image.pixelColor(cell.left() + 2, cell.top() + 2), QColor(200, 240, 240));
    bool sawRed = false;
    for (int x = cell.left(); x < cell.right() && !sawRed; ++x)
        sawRed = image.pixelColor(x, cell.center().y()) == kRed;
    QVERIFY(sawRed);
}

void TestListCtrl::gridLinesOnlyWithRowsAndUpToRightEdge() {
    CListCtrlCl list;
    SetUpLikeAView(list, 3, 100); // the third column reaches past the right edge
    list.resize(250, 200);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    const QColor grid(192, 192, 192);
    QImage empty = list.viewport()->grab().toImage();
    QCOMPARE(empty.pixelColor(99, 50), grid);
    QCOMPARE(empty.pixelColor(50, 26), list.palette().color(QPalette::Base)); // no rows: no horizontal rule
    const int lastX = empty.width() - 1;
    for (int x = 200; x <= lastX; ++x)
        QVERIFY(empty.pixelColor(x, 60) != grid);

    Fill(list, 1);
    QImage filled = list.viewport()->grab().toImage();
    QCOMPARE(filled.pixelColor(50, 26), grid);
}

namespace {
QStringList L(std::initializer_list<const char*> texts) {
    QStringList list;
    for (const char* t : texts)
        list << QString::fromUtf8(t);
    return list;
}

void ClickTitle(CListCtrlCl& list, int column) {
    QHeaderView* header = list.horizontalHeader();
    const QPoint at(header->sectionViewportPosition(column) + 10, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
}

QStringList Column(const CListCtrlCl& list, int column) {
    QStringList texts;
    for (int r = 0; r < list.GetItemCount(); ++r)
        texts << list.GetItemText(r, column);
    return texts;
}

void FillRows(CListCtrlCl& list, const std::vector<QStringList>& rows) {
    list.DeleteAllItems();
    for (const QStringList& cells : rows) {
        const int row = list.InsertItem(list.GetItemCount(), cells.value(0));
        for (int c = 1; c < cells.size(); ++c)
            list.SetItemText(row, c, cells[c]);
    }
}
} // namespace

void TestListCtrl::headerClickSortsNumbersDatesAndTimes() {
    CListCtrlCl list;
    SetUpLikeAView(list, 4, 100);
    list.resize(500, 300);
    list.show();
    FillRows(list,
             {{QStringLiteral("10"), QStringLiteral("2026-12-07"), QStringLiteral("9:30:00"), QStringLiteral("乙")},
              {QStringLiteral("9.5"), QStringLiteral("2026-1-15"), QStringLiteral("10:05:00"), QStringLiteral("甲")},
              {QStringLiteral("-2"), QStringLiteral("2025-12-31"), QStringLiteral("09:31:00"), QStringLiteral("丙")},
              {QStringLiteral("1,200.50"), QStringLiteral("2026-12-10"), QStringLiteral("14:00:00"), QString()}});
    QCOMPARE(list.SortColumn(), -1); // unsorted until a title is clicked

    ClickTitle(list, 0); // numbers as numbers, not as text ("-2" < "10" < "1,200.50" < "9.5")
    QCOMPARE(list.SortColumn(), 0);
    QCOMPARE(Column(list, 0), L({"-2", "9.5", "10", "1,200.50"}));
    ClickTitle(list, 0); // again: the other way round
    QCOMPARE(list.SortOrder(), Qt::DescendingOrder);
    QCOMPARE(Column(list, 0), L({"1,200.50", "10", "9.5", "-2"}));

    ClickTitle(list, 1); // dates by year, month, day
    QCOMPARE(list.SortOrder(), Qt::AscendingOrder);
    QCOMPARE(Column(list, 1), L({"2025-12-31", "2026-1-15", "2026-12-07", "2026-12-10"}));
    ClickTitle(list, 2); // times with and without a leading zero
    QCOMPARE(Column(list, 2), L({"9:30:00", "09:31:00", "10:05:00", "14:00:00"}));
    // Whole rows move together.
    QCOMPARE(Column(list, 0), L({"10", "-2", "9.5", "1,200.50"}));
}

void TestListCtrl::sortOrderSurvivesRefillsAndColoursTravel() {
    CListCtrlCl list;
    SetUpLikeAView(list, 2, 100);
    list.resize(400, 300);
    list.show();
    list.SortByColumn(1, Qt::DescendingOrder); // newest first, as the views of today do
    FillRows(list, {{QStringLiteral("a"), QStringLiteral("09:30:01")},
                    {QStringLiteral("b"), QStringLiteral("09:31:00")},
                    {QStringLiteral("c"), QStringLiteral("09:31:00")},
                    {QStringLiteral("d"), QStringLiteral("10:00:00")}});
    list.SetItemTextColor(0, 0, kRed);                      // "a", colour set on its cell after the fill
    list.SetItemTextColor(0, 3, kBlue);                     // "d"
    QTRY_COMPARE(Column(list, 0), L({"d", "c", "b", "a"})); // equal times: the later row first
    QCOMPARE(list.ItemTextColor(0, 0), kBlue);
    QCOMPARE(list.ItemTextColor(3, 0), kRed);

    // A refill in table order is sorted again by the same column.
    FillRows(list, {{QStringLiteral("x"), QStringLiteral("08:00:00")},
                    {QStringLiteral("y"), QStringLiteral("15:00:00")},
                    {QStringLiteral("z"), QStringLiteral("11:00:00")}});
    QTRY_COMPARE(Column(list, 0), L({"y", "z", "x"}));
    // A changed cell of the sort column re-sorts; the selection stays on its row.
    list.selectRow(2); // "x"
    list.SetItemText(2, 1, QStringLiteral("16:00:00"));
    QTRY_COMPARE(Column(list, 0), L({"x", "y", "z"}));
    QCOMPARE(list.GetFirstSelectedItem(), 0);
}

void TestListCtrl::columnsCanBeResizedByDragging() {
    CListCtrlCl list;
    list.m_headerHeightFactor = 1.5f;
    list.SetRowHeight();
    list.AddColumns({{QStringLiteral("证券代码"), 90}, {QStringLiteral("交易市场"), 90}});
    list.resize(400, 200);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    QHeaderView* header = list.horizontalHeader();
    const int divider = header->sectionViewportPosition(0) + header->sectionSize(0) - 1;
    const int y = header->height() / 2;
    QTest::mousePress(header->viewport(), Qt::LeftButton, {}, QPoint(divider, y));
    QMouseEvent move(QEvent::MouseMove, QPointF(divider + 40, y),
                     header->viewport()->mapToGlobal(QPointF(divider + 40, y)), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(header->viewport(), &move);
    QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, QPoint(divider + 40, y));
    QCOMPARE(list.columnWidth(0), 130);
    QCOMPARE(list.SortColumn(), -1); // a drag is not a click on the title

    // Widening to the contents: a cut title or cell grows its column; a wide one stays.
    list.setColumnWidth(1, 20);
    list.WidenColumnToContents(1);
    const int title = QFontMetrics(list.horizontalHeader()->font()).horizontalAdvance(QStringLiteral("交易市场"));
    QVERIFY(list.columnWidth(1) >= title + 10);
    const int row = list.InsertItem(0, QStringLiteral("x"));
    list.SetItemText(row, 1, QStringLiteral("2026-12-07 09:31:05 深圳A"));
    list.WidenColumnToContents(1);
    QVERIFY(list.columnWidth(1) >=
            QFontMetrics(list.font()).horizontalAdvance(QStringLiteral("2026-12-07 09:31:05 深圳A")) + 10);
    list.WidenColumnToContents(0);
    QCOMPARE(list.columnWidth(0), 130);
}

QTEST_MAIN(TestListCtrl)
#include "tst_ListCtrlCl.moc"
