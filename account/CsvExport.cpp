#include "account/CsvExport.h"

#include "account/ListCtrlCl.h"
#include "controls/FailDlg.h"

#include <QAbstractItemModel>
#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QSaveFile>
#include <QStringList>

#include <algorithm>

QString CsvField(const QString& text) {
    // A number with a leading zero (a code such as 000001) becomes a number in a spreadsheet
    // and loses its zeros; written as a formula that yields the text, Calc and the common
    // spreadsheets keep it whole.
    const bool leadingZero = text.size() > 1 && text.front() == u'0' &&
                             std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    if (leadingZero)
        return QStringLiteral("=\"") + text + u'"';
    const bool needsQuotes = text.contains(u',') || text.contains(u'"') || text.contains(u'\n') ||
                             text.contains(u'\r') ||
                             (!text.isEmpty() && (text.front().isSpace() || text.back().isSpace()));
    if (!needsQuotes)
        return text;
    QString quoted = text;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

namespace {

QString CsvLine(const QStringList& fields) {
    QStringList cells;
    cells.reserve(fields.size());
    for (const QString& f : fields)
        cells << CsvField(f);
    return cells.join(u',') + QStringLiteral("\r\n");
}

} // namespace

QByteArray CsvFromList(const CListCtrlCl& list) {
    const QAbstractItemModel* model = list.model();
    const int columns = list.columnCount();
    QString text;
    QStringList headings;
    for (int c = 0; c < columns; ++c)
        headings << model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
    text += CsvLine(headings);
    for (int r = 0; r < list.GetItemCount(); ++r) {
        if (list.isRowHidden(r))
            continue;
        QStringList cells;
        for (int c = 0; c < columns; ++c)
            cells << list.GetItemText(r, c);
        text += CsvLine(cells);
    }
    QByteArray bytes("\xEF\xBB\xBF");
    bytes += text.toUtf8();
    return bytes;
}

bool WriteCsvFile(const QString& path, const QByteArray& content, QString* error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    if (file.write(content) != content.size() || !file.commit()) {
        if (error)
            *error = file.errorString();
        file.cancelWriting();
        return false;
    }
    return true;
}

CCsvExport::CCsvExport(CListCtrlCl* list)
    : QObject(list)
    , m_list(list)
    , m_action(new QAction(tr("导出CSV"), this)) {
    m_pickPath = [](QWidget* parent) {
        return QFileDialog::getSaveFileName(parent, tr("导出CSV"), QDir::homePath(), tr("CSV 文件 (*.csv)"), nullptr,
                                            QFileDialog::DontUseNativeDialog);
    };
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(list, &QWidget::customContextMenuRequested, this, &CCsvExport::ShowMenu);
    connect(m_action, &QAction::triggered, this, [this] { Export(); });
}

bool CCsvExport::Export() {
    QString path = m_pickPath(m_list);
    if (path.isEmpty())
        return false;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".csv");
    QString error;
    if (!WriteCsvFile(path, CsvFromList(*m_list), &error)) {
        ShowFailure(m_list->window(),
                    tr("导出CSV失败：无法写入文件 %1（%2）").arg(QDir::toNativeSeparators(path), error));
        return false;
    }
    return true;
}

void CCsvExport::ShowMenu(const QPoint& pos) {
    QMenu menu(m_list);
    menu.addAction(m_action);
    // Items the window gave the list (加入自选股).
    menu.addActions(m_list->actions());
    menu.exec(m_list->viewport()->mapToGlobal(pos));
}
