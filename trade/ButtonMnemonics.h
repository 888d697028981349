#pragma once

#include <QObject>

class QAbstractButton;
class QWidget;

// Dialog keyboard handling of the forms: while one of the form's buttons has the focus, the
// bare mnemonic letter of a button (X for "撤买(&X)") clicks that button, as Alt+letter
// does anywhere in the form.
class CButtonMnemonics final : public QObject {
    Q_OBJECT
public:
    // Watches every button that is a child of `form` now; owned by `form`.
    explicit CButtonMnemonics(QWidget* form);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_form;
};

// "全撤(Z /)": Alt+Z, and "/" wherever in `form` no edit takes the key as text.
void AddCancelAllKeys(QWidget* form, QAbstractButton* cancelAll);
// A button whose text names its key in brackets without a mnemonic ("买入[B]") gets
// Alt+that key.
void AddBracketKey(QAbstractButton* button);
