#pragma once

#include <QColor>
#include <QHeaderView>
#include <QString>
#include <QStringList>

class CListCtrlCl;

// The header of CListCtrlCl: draws its own titles (one per column, with an alignment
// character '0' left, '1' centred, '2' right) on a light blue-grey background with grey
// rules, is taller than the platform's by the list's height factor, and refuses divider
// drags and double-clicks while the list's columns are fixed.
class CHeaderCtrlCl final : public QHeaderView {
    Q_OBJECT
public:
    explicit CHeaderCtrlCl(CListCtrlCl& list);

    void AddTitle(const QString& title, QChar alignment);
    const QStringList& Titles() const { return m_titles; }
    const QString& Alignment() const { return m_alignment; }
    QColor Background() const { return m_background; }

    // The platform's height times the factor, truncated toward zero (20 × 1.5 → 30).
    static int ScaledHeight(int height, float factor);

    QSize sizeHint() const override;

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    // Follows the list's fixed-columns flag, which the views set as a plain field.
    void SyncResizeMode();

    CListCtrlCl& m_list;
    QStringList m_titles;
    QString m_alignment;
    QColor m_background{236, 243, 246};
};
