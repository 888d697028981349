#include "account/HistoryViewBase.h"

#include "account/CsvExport.h"
#include "account/ListCtrlCl.h"
#include "controls/Dlu.h"
#include "controls/FailDlg.h"
#include "controls/TStatic.h"
#include "controls/XPButton.h"
#include "core/ClientContext.h"
#include "net/TradingLink.h"

#include <QDateEdit>
#include <QLabel>

namespace {

QDateEdit* MakePicker(QWidget* parent, const char* id, const QDate& date) {
    auto* picker = new QDateEdit(date, parent);
    picker->setObjectName(QString::fromLatin1(id));
    picker->setCalendarPopup(true);
    picker->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    return picker;
}

} // namespace

CHistoryViewBase::CHistoryViewBase(ClientContext& context, QWidget* parent, QSize templateSize)
    : CTFormView(context, parent)
    , m_label(new CTStatic(tr("查询日期"), this))
    , m_start(MakePicker(this, "id1067", QDate::currentDate()))
    , m_end(MakePicker(this, "id1068", QDate::currentDate()))
    , m_query(new CXPButton(tr("确 定"), this))
    , m_list(new CListCtrlCl(this)) {
    m_label->setObjectName(QStringLiteral("id1061"));
    m_label->setGeometry(DluRect(7, 9, 34, 10));
    m_start->setGeometry(DluRect(43, 6, 64, 14));
    auto* to = new QLabel(tr("至"), this);
    to->setAlignment(Qt::AlignCenter);
    to->setGeometry(DluRect(109, 9, 12, 10));
    m_end->setGeometry(DluRect(123, 6, 64, 14));
    m_query->setObjectName(QStringLiteral("id1069"));
    m_query->setGeometry(DluRect(195, 5, 46, 16));
    m_list->setObjectName(QStringLiteral("id1041"));
    new CCsvExport(m_list);
    connect(m_query, &QPushButton::clicked, this, &CHistoryViewBase::QueryHistory);
    resize(DluX(templateSize.width()), DluY(templateSize.height()));
}

void CHistoryViewBase::OnInitialUpdate() {
    AddColumns(*m_list);
    m_listReady = true;
    PlaceList(1);
}

void CHistoryViewBase::SetToday(const QDate& today) {
    m_today = today;
    m_start->setDate(today);
    m_end->setDate(today);
}

QDate CHistoryViewBase::Today() const {
    return m_today.isValid() ? m_today : QDate::currentDate();
}

QString CHistoryViewBase::QueryBody() const {
    const QDate start = m_start->date();
    QDate end = m_end->date();
    if (EndsBeforeToday() && end >= Today())
        end = Today().addDays(-1);
    return QStringLiteral("start=%1-%2-%3&end=%4-%5-%6")
        .arg(start.year())
        .arg(start.month())
        .arg(start.day())
        .arg(end.year())
        .arg(end.month())
        .arg(end.day());
}

void CHistoryViewBase::QueryHistory() {
    m_list->DeleteAllItems();
    if (!Context().link.SendRequest(Command(), QueryBody().toStdString()))
        ShowFailure(this, tr("系统错误！"));
}

void CHistoryViewBase::resizeEvent(QResizeEvent* event) {
    CTFormView::resizeEvent(event);
    if (m_listReady)
        PlaceList(5);
}

void CHistoryViewBase::PlaceList(int left) {
    const int top = m_query->geometry().bottom() + 1 + 10;
    m_list->setGeometry(left, top, qMax(0, width() - left - 5), qMax(0, height() - top));
}
