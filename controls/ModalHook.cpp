#include "controls/ModalHook.h"

#include <QMessageBox>

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
    box.exec();
}

bool AskYesNo(QWidget* parent, const QString& text, const QString& caption) {
    if (const ModalHookFn& hook = ModalHook())
        return hook(ModalRequest{ModalRequest::Kind::kMessageBoxYesNo, text, caption}) == QMessageBox::Yes;
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No, parent);
    return box.exec() == QMessageBox::Yes;
}
