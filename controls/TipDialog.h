#pragma once

#include "controls/ModalHook.h"

#include <QDialog>
#include <QPixmap>
#include <QPoint>
#include <QString>

class CTStatic;

// What the failure and the yes/no dialogs share: a borderless modal popup painted with the
// picture that carries its own title strip (提示), a blue message, dragging by the surface,
// and a run that the modal hook answers when one is installed.
class CTipDialog : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CTipDialog)
public:
    int exec() override;
    // The painted background as last drawn (at the window's device pixel ratio).
    const QPixmap& BackgroundPicture() const;

protected:
    // `textHeightDlu`: the height of the message area in dialog units.
    CTipDialog(QWidget* parent, ModalRequest::Kind kind, int textTop, int textHeightDlu);

    void SetShownText(const QString& text);
    QString ShownText() const;

    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    ModalRequest::Kind m_kind;
    CTStatic* m_text = nullptr;
    QPixmap m_background;
    QPoint m_dragOffset;
};
