#include "market/BoardModel.h"

#include "core/Gbk.h"

#include <QBrush>
#include <QColor>

namespace {

const QColor kUp(220, 0, 0);
const QColor kDown(0, 150, 0);

QString Cents(std::int64_t cents) {
    const char* sign = cents < 0 ? "-" : "";
    const std::int64_t a = cents < 0 ? -cents : cents;
    return QString::asprintf("%s%lld.%02lld", sign, static_cast<long long>(a / 100), static_cast<long long>(a % 100));
}

// A security that has not traded today shows no price of its own.
bool Traded(const net::BoardRecord& r) {
    return r.last > 0;
}

double ChangePercent(const net::BoardRecord& r) {
    return r.prevClose > 0 ? static_cast<double>(r.last - r.prevClose) * 100.0 / static_cast<double>(r.prevClose) : 0;
}

} // namespace

int CBoardModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int CBoardModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kCount;
}

QString CBoardModel::CellText(const net::BoardRecord& r, int column) {
    const QString none = QStringLiteral("--");
    switch (column) {
    case kCode:
        return FromGbk(r.code);
    case kName:
        return FromGbk(r.name);
    case kLast:
        return Traded(r) ? Cents(r.last) : none;
    case kChange:
        return Traded(r) && r.prevClose > 0 ? Cents(r.last - r.prevClose) : none;
    case kChangePct:
        return Traded(r) && r.prevClose > 0 ? QString::asprintf("%.2f%%", ChangePercent(r)) : none;
    case kPrevClose:
        return Cents(r.prevClose);
    case kOpen:
        return r.open > 0 ? Cents(r.open) : none;
    case kHigh:
        return r.high > 0 ? Cents(r.high) : none;
    case kLow:
        return r.low > 0 ? Cents(r.low) : none;
    case kVolume: // hands of 100 shares
        return QString::number(r.volume / 100);
    case kAmount:
        return AmountText(r.amount);
    default:
        return {};
    }
}

QString CBoardModel::AmountText(std::int64_t cents) {
    // Large sums in 万 (ten thousand) and 亿 (a hundred million) yuan, as traders read them.
    const double yuan = static_cast<double>(cents) / 100.0;
    if (yuan >= 1e8)
        return QString::asprintf("%.2f亿", yuan / 1e8);
    if (yuan >= 1e4)
        return QString::asprintf("%.2f万", yuan / 1e4);
    return Cents(cents);
}

QVariant CBoardModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const net::BoardRecord& r = m_rows[static_cast<std::size_t>(index.row())];
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        return CellText(r, column);
    case Qt::TextAlignmentRole:
        return column == kName ? int(Qt::AlignLeft | Qt::AlignVCenter) : int(Qt::AlignRight | Qt::AlignVCenter);
    case Qt::ForegroundRole: {
        // The prices and the change follow the sign of the day's change.
        if (column == kCode || column == kName || column == kPrevClose || column == kVolume || column == kAmount ||
            !Traded(r) || r.prevClose <= 0)
            return {};
        std::int64_t price = r.last;
        if (column == kOpen)
            price = r.open;
        else if (column == kHigh)
            price = r.high;
        else if (column == kLow)
            price = r.low;
        if (price == r.prevClose || price <= 0)
            return {};
        return QBrush(price > r.prevClose ? kUp : kDown);
    }
    case kSortRole:
        switch (column) {
        case kCode:
            return FromGbk(r.code);
        case kName:
            return FromGbk(r.name);
        case kLast:
            return static_cast<qlonglong>(r.last);
        case kChange:
            return static_cast<qlonglong>(Traded(r) ? r.last - r.prevClose : 0);
        case kChangePct:
            return Traded(r) ? ChangePercent(r) : 0.0;
        case kPrevClose:
            return static_cast<qlonglong>(r.prevClose);
        case kOpen:
            return static_cast<qlonglong>(r.open);
        case kHigh:
            return static_cast<qlonglong>(r.high);
        case kLow:
            return static_cast<qlonglong>(r.low);
        case kVolume:
            return static_cast<qlonglong>(r.volume);
        case kAmount:
            return static_cast<qlonglong>(r.amount);
        default:
            return {};
        }
    default:
        return {};
    }
}

QVariant CBoardModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const char16_t* const kTitles[kCount] = {u"代码", u"名称", u"最新", u"涨跌",       u"涨幅%", u"昨收",
                                                    u"今开", u"最高", u"最低", u"成交量(手)", u"成交额"};
    return section >= 0 && section < kCount ? QString::fromUtf16(kTitles[section]) : QString();
}

QString CBoardModel::Code(int row) const {
    return row >= 0 && row < rowCount() ? FromGbk(m_rows[static_cast<std::size_t>(row)].code) : QString();
}

void CBoardModel::SetRows(std::vector<net::BoardRecord> rows) {
    const bool sameCodes =
        rows.size() == m_rows.size() &&
        std::equal(rows.begin(), rows.end(), m_rows.begin(),
                   [](const net::BoardRecord& a, const net::BoardRecord& b) { return a.code == b.code; });
    if (!sameCodes) {
        beginResetModel();
        m_rows = std::move(rows);
        endResetModel();
        return;
    }
    // In place: only the rows whose figures changed are announced.
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const net::BoardRecord& a = rows[i];
        const net::BoardRecord& b = m_rows[i];
        if (a.last == b.last && a.open == b.open && a.high == b.high && a.low == b.low && a.volume == b.volume &&
            a.amount == b.amount && a.prevClose == b.prevClose && a.name == b.name)
            continue;
        m_rows[i] = std::move(rows[i]);
        const int r = static_cast<int>(i);
        emit dataChanged(index(r, 0), index(r, kCount - 1));
    }
}
