#include "market/CodeLookup.h"

#include "core/ClientContext.h"
#include "core/Gbk.h"
#include "net/SharedState.h"
#include "net/TradingLink.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QVBoxLayout>

std::vector<net::BoardRecord> MatchSecurities(const std::vector<net::BoardRecord>& board, const QString& typed,
                                              std::size_t limit) {
    std::vector<net::BoardRecord> found;
    const QString text = typed.trimmed();
    if (text.isEmpty())
        return found;
    const QString upper = text.toUpper();
    std::vector<bool> taken(board.size(), false);
    // Three passes, one per kind of match, so that a code match always comes first.
    const auto pass = [&](auto matches) {
        for (std::size_t i = 0; i < board.size() && found.size() < limit; ++i) {
            if (!taken[i] && matches(board[i])) {
                taken[i] = true;
                found.push_back(board[i]);
            }
        }
    };
    pass([&](const net::BoardRecord& r) { return FromGbk(r.code).startsWith(text); });
    pass([&](const net::BoardRecord& r) { return FromGbk(r.initials).toUpper().startsWith(upper); });
    pass([&](const net::BoardRecord& r) { return FromGbk(r.name).contains(text, Qt::CaseInsensitive); });
    return found;
}

CCodeLookup::CCodeLookup(ClientContext& context, QWidget* parent)
    : QFrame(parent, Qt::Popup)
    , m_context(context) {
    setObjectName(QStringLiteral("codeLookup"));
    setFrameStyle(QFrame::Box | QFrame::Plain);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    m_edit = new QLineEdit(this);
    m_edit->setObjectName(QStringLiteral("lookupEdit"));
    m_edit->setPlaceholderText(QStringLiteral("代码 / 名称 / 拼音首字母"));
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("lookupList"));
    m_list->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(m_edit);
    layout->addWidget(m_list);
    const QFontMetrics metrics(font());
    resize(metrics.horizontalAdvance(QStringLiteral("000000  中华人民共和国  ZHRMGHG")) + 24, metrics.height() * 14);
    m_edit->installEventFilter(this);
    connect(m_edit, &QLineEdit::textChanged, this, &CCodeLookup::Fill);
    connect(m_list, &QListWidget::itemClicked, this, [this] { Choose(); });
}

void CCodeLookup::Open(const QString& typed, Pick pick) {
    m_pick = std::move(pick);
    // The board may not have been asked for yet (the lookup opened before any market view).
    if (m_context.state.market.Board().empty())
        m_context.link.QueryBoard();
    if (QWidget* owner = parentWidget()) {
        const QPoint corner = owner->mapToGlobal(QPoint(owner->width() - width() - 8, owner->height() - height() - 40));
        move(corner);
    }
    m_edit->setText(typed);
    Fill();
    show();
    m_edit->setFocus();
}

void CCodeLookup::Fill() {
    m_list->clear();
    std::vector<net::BoardRecord> board = m_context.state.market.Board();
    if (board.empty()) {
        m_list->addItem(QStringLiteral("正在读取行情…"));
        m_list->item(0)->setFlags(Qt::NoItemFlags);
        return;
    }
    for (const net::BoardRecord& r : MatchSecurities(board, m_edit->text())) {
        auto* item = new QListWidgetItem(
            QStringLiteral("%1  %2  %3").arg(FromGbk(r.code), FromGbk(r.name), FromGbk(r.initials)), m_list);
        item->setData(Qt::UserRole, FromGbk(r.code));
    }
    if (m_list->count() > 0)
        m_list->setCurrentRow(0);
}

void CCodeLookup::Choose() {
    QListWidgetItem* item = m_list->currentItem();
    const QString code = item ? item->data(Qt::UserRole).toString() : QString();
    if (code.isEmpty())
        return;
    close();
    if (m_pick)
        m_pick(code);
}

bool CCodeLookup::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_edit && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        switch (key->key()) {
        case Qt::Key_Up:
        case Qt::Key_Down: {
            const int n = m_list->count();
            if (n > 0)
                m_list->setCurrentRow((m_list->currentRow() + (key->key() == Qt::Key_Up ? n - 1 : 1)) % n);
            return true;
        }
        case Qt::Key_Return:
        case Qt::Key_Enter:
            Choose();
            return true;
        case Qt::Key_Escape:
            close();
            return true;
        default:
            break;
        }
    }
    return QFrame::eventFilter(watched, event);
}
