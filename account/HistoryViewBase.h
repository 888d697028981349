#pragma once

#include "core/TFormView.h"

#include <QDate>
#include <QSize>
#include <QString>

class CListCtrlCl;
class CTStatic;
class CXPButton;
class QDateEdit;

// The common form of the history views: "查询日期" <start> 至 <end> [确 定] above a list.
// The button sends the view's query for the chosen range; the list is rebuilt from the
// view's own table when a history answer has been stored (1124), whichever query it
// answered.
class CHistoryViewBase : public CTFormView {
    Q_OBJECT
public:
    // `templateSize` in dialog units: the form's nominal size.
    CHistoryViewBase(ClientContext& context, QWidget* parent, QSize templateSize);

    void OnInitialUpdate() override;
    void OnHistoryTableStored() override { FillHistoryList(); }
    // F5 asks the server again for the chosen range.
    void OnRefreshKey() override { QueryHistory(); }

    // Empties the list and sends the query for the pickers' range; a failed send shows
    // "系统错误！".
    void QueryHistory();
    // The body QueryHistory sends for the pickers' current range.
    QString QueryBody() const;
    // Rebuilds the list from the view's table.
    virtual void FillHistoryList() = 0;

    // The date taken as today (the pickers' start value and the clamping limit). Tests fix
    // it; setting it also moves both pickers to that date.
    void SetToday(const QDate& today);
    QDate Today() const;

    CListCtrlCl* List() const { return m_list; }
    QDateEdit* StartPicker() const { return m_start; }
    QDateEdit* EndPicker() const { return m_end; }

protected:
    // The query command of this view.
    virtual int Command() const = 0;
    // Order and trade histories end at yesterday at the latest (today is in the today's views).
    virtual bool EndsBeforeToday() const = 0;
    // Called once at initial update to add the view's columns.
    virtual void AddColumns(CListCtrlCl& list) = 0;

    void resizeEvent(QResizeEvent* event) override;

private:
    void PlaceList(int left);

    CTStatic* m_label;
    QDateEdit* m_start;
    QDateEdit* m_end;
    CXPButton* m_query;
    CListCtrlCl* m_list;
    QDate m_today; // invalid: the system's date
    bool m_listReady = false;
};
