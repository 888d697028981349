#include "market/QuoteListView.h"

#include "core/ClientContext.h"
#include "core/Gbk.h"
#include "market/BoardModel.h"
#include "market/CodeLookup.h"
#include "market/Watchlist.h"
#include "net/SharedState.h"
#include "net/TradingLink.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

CQuoteListView::CQuoteListView(ClientContext& context, QWidget* parent, const QString& title)
    : CTFormView(context, parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    auto* heading = new QLabel(title, this);
    heading->setObjectName(QStringLiteral("heading"));
    QFont font = heading->font();
    font.setBold(true);
    heading->setFont(font);
    layout->addWidget(heading);

    m_notice = new QLabel(this);
    m_notice->setObjectName(QStringLiteral("notice"));
    m_notice->setStyleSheet(QStringLiteral("color: rgb(200, 0, 0);"));
    m_notice->hide();
    layout->addWidget(m_notice);

    m_model = new CBoardModel(this);
    m_sorted = new QSortFilterProxyModel(this);
    m_sorted->setSourceModel(m_model);
    m_sorted->setSortRole(CBoardModel::kSortRole);
    m_sorted->setDynamicSortFilter(true);
    m_table = new QTableView(this);
    m_table->setObjectName(QStringLiteral("quoteList"));
    m_table->setModel(m_sorted);
    m_table->setSortingEnabled(true);
    m_table->sortByColumn(CBoardModel::kCode, Qt::AscendingOrder);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setAlternatingRowColors(true);
    m_table->setWordWrap(false);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 8);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    m_table->horizontalHeader()->setMinimumSectionSize(
        m_table->fontMetrics().horizontalAdvance(QStringLiteral("成交量(手)")) + 16);
    m_table->installEventFilter(this);
    layout->addWidget(m_table, 1);
    setFocusProxy(m_table);

    connect(m_table, &QTableView::doubleClicked, this, [this] { OpenChartOfSelection(); });

    m_timer = new QTimer(this);
    m_timer->setInterval(kRefreshMs);
    connect(m_timer, &QTimer::timeout, this, &CQuoteListView::Refresh);
}

CQuoteListView::~CQuoteListView() = default;

void CQuoteListView::OnInitialUpdate() {
    Refresh();
    m_timer->start();
}

void CQuoteListView::OnRefreshKey() {
    Refresh();
}

void CQuoteListView::Refresh() {
    net::MarketData& market = Context().state.market;
    Context().link.QueryBoard();
    const bool unavailable =
        market.BoardService(net::MarketData::Clock::now()) == net::MarketData::Service::kUnavailable;
    if (unavailable != m_notice->isVisible()) {
        m_notice->setText(QStringLiteral("行情服务不可用"));
        m_notice->setVisible(unavailable);
    }
    if (market.BoardVersion() != m_shownVersion)
        ShowRows();
}

void CQuoteListView::Reload() {
    ShowRows();
}

void CQuoteListView::ShowRows() {
    net::MarketData& market = Context().state.market;
    m_shownVersion = market.BoardVersion();
    std::vector<net::BoardRecord> rows;
    if (ListsAll()) {
        rows = market.Board();
    } else {
        // In the contestant's order; a code the board does not know yet shows once it does.
        for (const std::string& code : Codes()) {
            if (auto row = market.Row(code))
                rows.push_back(std::move(*row));
        }
    }
    const QString selected = SelectedCode();
    const bool reset = rows.size() != static_cast<std::size_t>(m_model->rowCount());
    m_model->SetRows(std::move(rows));
    if (reset && !selected.isEmpty())
        SelectCode(selected);
    if (!m_table->currentIndex().isValid() && m_sorted->rowCount() > 0)
        m_table->setCurrentIndex(m_sorted->index(0, 0));
}

QString CQuoteListView::SelectedCode() const {
    const QModelIndex current = m_table->currentIndex();
    if (!current.isValid())
        return {};
    return m_model->Code(m_sorted->mapToSource(current).row());
}

bool CQuoteListView::SelectCode(const QString& code) {
    for (int r = 0; r < m_model->rowCount(); ++r) {
        if (m_model->Code(r) == code) {
            const QModelIndex index = m_sorted->mapFromSource(m_model->index(r, 0));
            m_table->setCurrentIndex(index);
            m_table->scrollTo(index);
            return true;
        }
    }
    return false;
}

void CQuoteListView::OpenChartOfSelection() {
    const QString code = SelectedCode();
    if (!code.isEmpty() && Context().frame)
        Context().frame->OpenChart(code);
}

bool CQuoteListView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_table && (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride)) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const int k = key->key();
        const bool ours = k == Qt::Key_Return || k == Qt::Key_Enter || k == Qt::Key_F1 || k == Qt::Key_F2 ||
                          k == Qt::Key_Insert || k == Qt::Key_Delete;
        if (!ours || key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))
            return CTFormView::eventFilter(watched, event);
        // The window's own F1 / F2 would open an empty form: these keys belong to the list.
        if (event->type() == QEvent::ShortcutOverride) {
            event->accept();
            return true;
        }
        const QString code = SelectedCode();
        if (OnListKey(k))
            return true;
        if (k == Qt::Key_Return || k == Qt::Key_Enter) {
            OpenChartOfSelection();
        } else if ((k == Qt::Key_F1 || k == Qt::Key_F2) && Context().frame) {
            Context().frame->OpenOrderForm(k == Qt::Key_F1, code);
        } else if (k == Qt::Key_Insert && !code.isEmpty()) {
            const std::string user = Context().state.credentials.CurrentUser();
            if (!Context().iniPath.empty() && watchlist::Add(Context().iniPath, user, ToGbk(code)))
                m_notice->setText(QStringLiteral("%1 已加入自选股").arg(code));
            m_notice->setVisible(true);
            QTimer::singleShot(2000, m_notice, [n = m_notice] { n->hide(); });
        }
        return true;
    }
    return CTFormView::eventFilter(watched, event);
}

CQuoteBoardView::CQuoteBoardView(ClientContext& context, QWidget* parent)
    : CQuoteListView(context, parent, QStringLiteral("行情报价")) {}

CWatchlistView::CWatchlistView(ClientContext& context, QWidget* parent)
    : CQuoteListView(context, parent, QStringLiteral("自选股（Insert 加入，Delete 删除）")) {}

std::vector<std::string> CWatchlistView::Codes() const {
    if (Context().iniPath.empty())
        return {};
    return watchlist::Load(Context().iniPath, Context().state.credentials.CurrentUser());
}

bool CWatchlistView::AddCode(const QString& code) {
    if (Context().iniPath.empty() ||
        !watchlist::Add(Context().iniPath, Context().state.credentials.CurrentUser(), ToGbk(code)))
        return false;
    Context().link.QueryBoardRow(ToGbk(code));
    Reload();
    SelectCode(code);
    return true;
}

bool CWatchlistView::RemoveSelected() {
    const QString code = SelectedCode();
    if (code.isEmpty() || Context().iniPath.empty() ||
        !watchlist::Remove(Context().iniPath, Context().state.credentials.CurrentUser(), ToGbk(code)))
        return false;
    Reload();
    return true;
}

bool CWatchlistView::OnListKey(int key) {
    if (key == Qt::Key_Delete) {
        RemoveSelected();
        return true;
    }
    if (key == Qt::Key_Insert) {
        // The lookup picks the code to add.
        auto* lookup = new CCodeLookup(Context(), this);
        lookup->setAttribute(Qt::WA_DeleteOnClose);
        lookup->Open(QString(), [this, lookup](const QString& code) {
            AddCode(code);
            lookup->close();
        });
        return true;
    }
    return false;
}
