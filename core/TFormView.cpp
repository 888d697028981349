#include "core/TFormView.h"

#include <QAbstractButton>
#include <QPainter>

CTFormView::CTFormView(ClientContext& context, QWidget* parent)
    : QWidget(parent)
    , m_context(context) {}

CTFormView::~CTFormView() = default;

void CTFormView::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(240, 240, 240));
}

void CTFormView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    update();
}

void CTFormView::OnRefreshKey() {
    auto* refresh = findChild<QAbstractButton*>(QStringLiteral("id1038"));
    if (refresh && refresh->isVisible() && refresh->isEnabled())
        refresh->click();
    else
        OnHistoryTableStored();
}
