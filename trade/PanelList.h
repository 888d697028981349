#pragma once

class CListCtrlCl;
class QWidget;

// The list of an order-form panel: object name "id1041", filling the whole panel, set up
// like every table (taller header, fixed row height, fixed columns, no top rule).
CListCtrlCl* CreatePanelList(QWidget* panel);

// Empties `list` and gives it `rows` empty rows at once: appending rows one by one costs
// the view a relayout per row.
void ResetRows(CListCtrlCl* list, int rows);

// Switches painting off while a list is refilled, and back on when it goes out of scope.
class ListFillScope final {
public:
    explicit ListFillScope(CListCtrlCl* list);
    ~ListFillScope();
    ListFillScope(const ListFillScope&) = delete;
    ListFillScope& operator=(const ListFillScope&) = delete;

private:
    CListCtrlCl* m_list;
    bool m_wasEnabled;
};
