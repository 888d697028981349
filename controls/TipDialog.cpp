#include "controls/TipDialog.h"

#include "controls/Dlu.h"
#include "controls/TStatic.h"
#include "controls/TipArt.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPointer>

CTipDialog::CTipDialog(QWidget* parent, ModalRequest::Kind kind, int textTop, int textHeightDlu)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
    , m_kind(kind)
    , m_background(tip_art::Background(devicePixelRatioF())) {
    setModal(true);
    setFixedSize(tip_art::kWidth, tip_art::kHeight);

    m_text = new CTStatic(QString(), this);
    m_text->setObjectName(QStringLiteral("id1090"));
    m_text->SetTextColor(QColor(0, 0, 255));
    m_text->setWordWrap(true);
    m_text->setGeometry(11, textTop, DluX(213), DluY(textHeightDlu));
}

const QPixmap& CTipDialog::BackgroundPicture() const {
    return m_background;
}

void CTipDialog::SetShownText(const QString& text) {
    m_text->setText(text);
}

QString CTipDialog::ShownText() const {
    return m_text->text();
}

int CTipDialog::exec() {
    if (const ModalHookFn& hook = ModalHook()) {
        const int result = hook(ModalRequest{m_kind, ShownText(), QString()});
        setResult(result);
        return result;
    }
    const QPointer<QWidget> parent(parentWidget());
    const int result = QDialog::exec();
    ReturnFocusTo(parent);
    return result;
}

void CTipDialog::paintEvent(QPaintEvent* /*event*/) {
    // Drawn again at the screen's scale, so the title and frame stay as sharp as the text.
    if (!qFuzzyCompare(m_background.devicePixelRatio(), devicePixelRatioF()))
        m_background = tip_art::Background(devicePixelRatioF());
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_background);
}

void CTipDialog::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        m_dragOffset = event->globalPosition().toPoint() - frameGeometry().topLeft();
    QDialog::mousePressEvent(event);
}

void CTipDialog::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() & Qt::LeftButton)
        move(event->globalPosition().toPoint() - m_dragOffset);
    QDialog::mouseMoveEvent(event);
}
