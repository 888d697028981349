#include "trade/SpinButtons.h"

#include <QResizeEvent>
#include <QToolButton>

namespace {
QToolButton* MakeArrow(QWidget* parent, Qt::ArrowType arrow, const QString& name) {
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setArrowType(arrow);
    button->setAutoRepeat(true);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}
} // namespace

CSpinButtons::CSpinButtons(QWidget* parent)
    : QWidget(parent)
    , m_up(MakeArrow(this, Qt::UpArrow, QStringLiteral("up")))
    , m_down(MakeArrow(this, Qt::DownArrow, QStringLiteral("down"))) {
    connect(m_up, &QToolButton::clicked, this, [this] { emit stepped(-1); });
    connect(m_down, &QToolButton::clicked, this, [this] { emit stepped(1); });
}

void CSpinButtons::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const int half = height() / 2;
    m_up->setGeometry(0, 0, width(), half);
    m_down->setGeometry(0, half, width(), height() - half);
}
