#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>

class CListCtrlCl;
class QAction;
class QMenu;
class QWidget;

// One CSV field: quoted (with inner quotes doubled) when it holds a comma, a quote, a
// line break or leading/trailing blanks; otherwise as it is.
QString CsvField(const QString& text);

// The headings and the visible rows of `list` as CSV text (CRLF line ends), UTF-8 with a
// byte-order mark so that spreadsheet programs read the Chinese text correctly.
QByteArray CsvFromList(const CListCtrlCl& list);

// Writes `content` to `path` whole or not at all. On failure `error` gets a readable reason.
bool WriteCsvFile(const QString& path, const QByteArray& content, QString* error);

// The "导出CSV" item of a list's context menu. Attached to a list (and owned by it): a
// right-click opens a menu with the item; choosing it asks for a file and writes the list.
class CCsvExport final : public QObject {
    Q_OBJECT
public:
    // Returns the chosen path, or an empty text when the user cancelled.
    using PathPicker = std::function<QString(QWidget* parent)>;

    explicit CCsvExport(CListCtrlCl* list);

    // Tests replace the file dialog.
    void SetPathPicker(PathPicker picker) { m_pickPath = std::move(picker); }
    QAction* ExportAction() const { return m_action; }

    // Asks for a path and writes the list there; a write failure is shown with ShowFailure.
    // Returns true when a file was written.
    bool Export();

private:
    void ShowMenu(const QPoint& pos);

    CListCtrlCl* m_list;
    QAction* m_action;
    PathPicker m_pickPath;
};
