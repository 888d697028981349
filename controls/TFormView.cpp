#include "controls/TFormView.h"

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
