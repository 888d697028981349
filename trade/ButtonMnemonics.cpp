#include "trade/ButtonMnemonics.h"

#include <QAbstractButton>
#include <QKeyEvent>
#include <QKeySequence>
#include <QWidget>

CButtonMnemonics::CButtonMnemonics(QWidget* form)
    : QObject(form)
    , m_form(form) {
    for (QAbstractButton* button : form->findChildren<QAbstractButton*>())
        button->installEventFilter(this);
}

bool CButtonMnemonics::eventFilter(QObject*, QEvent* event) {
    if (event->type() != QEvent::KeyPress)
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->modifiers() != Qt::NoModifier || key->key() < Qt::Key_A || key->key() > Qt::Key_Z)
        return false;
    const QKeySequence mnemonic(Qt::ALT | Qt::Key(key->key()));
    for (QAbstractButton* button : m_form->findChildren<QAbstractButton*>()) {
        if (button->shortcut() == mnemonic && button->isEnabled() && button->isVisible()) {
            button->click();
            return true;
        }
    }
    return false;
}
