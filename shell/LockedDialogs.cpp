#include "shell/LockedDialogs.h"

#include "controls/FailDlg.h"
#include "controls/ModalHook.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>

std::vector<std::function<void()>> CloseDialogsForLock(QWidget* parent, const QWidget* keep) {
    std::vector<std::function<void()>> again;
    const QPointer<QWidget> owner(parent);
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QDialog*>(w);
        if (!dialog || dialog == keep || !dialog->isVisible())
            continue;
        if (auto* failure = qobject_cast<CFailDlg*>(dialog)) {
            again.push_back([owner, text = failure->Message()] {
                CFailDlg shown(owner.data());
                shown.SetMessage(text);
                shown.exec();
            });
        } else if (auto* box = qobject_cast<QMessageBox*>(dialog)) {
            if (QAbstractButton* no = box->button(QMessageBox::No)) {
                no->click();
                continue;
            }
            if (box->standardButtons() == QMessageBox::Ok)
                again.push_back([owner, text = box->text(), caption = box->windowTitle()] {
                    ShowMessageBox(owner.data(), text, caption);
                });
        }
        // Hiding a modal dialog ends its run as rejected: a confirmation is a "no".
        dialog->reject();
    }
    return again;
}
