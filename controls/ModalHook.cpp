#include "controls/ModalHook.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPointer>

namespace {
// The hook is process-wide by design: every modal call of the client consults it.
ModalHookFn& HookSlot() {
    static ModalHookFn hook;
    return hook;
}
} // namespace

void SetModalHook(ModalHookFn hook) {
    HookSlot() = std::move(hook);
}

const ModalHookFn& ModalHook() {
    return HookSlot();
}

void ShowMessageBox(QWidget* parent, const QString& text, const QString& caption) {
    if (const ModalHookFn& hook = ModalHook()) {
        hook(ModalRequest{ModalRequest::Kind::kMessageBoxOk, text, caption});
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, parent);
    SetChineseButtonTexts(box);
    box.exec();
    ReturnFocusTo(parent);
}

bool AskYesNo(QWidget* parent, const QString& text, const QString& caption) {
    if (const ModalHookFn& hook = ModalHook())
        return hook(ModalRequest{ModalRequest::Kind::kMessageBoxYesNo, text, caption}) == QMessageBox::Yes;
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No, parent);
    SetChineseButtonTexts(box);
    const bool yes = box.exec() == QMessageBox::Yes;
    ReturnFocusTo(parent);
    return yes;
}

void ReturnFocusTo(QWidget* parent) {
    if (!parent)
        return;
    QWidget* window = parent->window();
    if (window->isVisible()) {
        window->raise();
        window->activateWindow();
    }
}

void SetChineseButtonTexts(QMessageBox& box) {
    const struct {
        QMessageBox::StandardButton which;
        const char16_t* text;
    } texts[] = {{QMessageBox::Ok, u"确定"},
                 {QMessageBox::Cancel, u"取消"},
                 {QMessageBox::Yes, u"是(&Y)"},
                 {QMessageBox::No, u"否(&N)"}};
    for (const auto& t : texts) {
        if (QAbstractButton* button = box.button(t.which))
            button->setText(QString::fromUtf16(t.text));
    }
}
