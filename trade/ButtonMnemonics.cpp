#include "trade/ButtonMnemonics.h"

#include <QAbstractButton>
#include <QKeyEvent>
#include <QKeySequence>
#include <QRegularExpression>
#include <QShortcut>
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

void AddCancelAllKeys(QWidget* form, QAbstractButton* cancelAll) {
    cancelAll->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Z));
    // An edit with the focus takes "/" as text, so the shortcut only acts elsewhere.
    auto* slash = new QShortcut(QKeySequence(Qt::Key_Slash), form);
    slash->setContext(Qt::WidgetWithChildrenShortcut);
    QObject::connect(slash, &QShortcut::activated, cancelAll, [cancelAll] {
        if (cancelAll->isEnabled() && cancelAll->isVisible())
            cancelAll->click();
    });
}

void AddBracketKey(QAbstractButton* button) {
    if (!QKeySequence::mnemonic(button->text()).isEmpty())
        return;
    static const QRegularExpression kBracket(QStringLiteral("\\[([A-Z])\\]"));
    const QRegularExpressionMatch match = kBracket.match(button->text());
    if (match.hasMatch())
        button->setShortcut(QKeySequence(Qt::ALT | Qt::Key(Qt::Key_A + (match.captured(1).at(0).unicode() - u'A'))));
}
