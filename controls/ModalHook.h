#pragma once

#include <QString>

#include <functional>

class QWidget;

// Every modal question or message of the client (the failure dialog, the yes/no dialog,
// the platform message boxes) passes through RunModal. Tests install a hook that records
// what would be shown and answers without a modal loop; the program installs none.
struct ModalRequest {
    enum class Kind { kFailure, kYesNoTip, kMessageBoxOk, kMessageBoxYesNo };
    Kind kind;
    QString text;    // the text as shown (after any substitution)
    QString caption; // message boxes only
};

// Returns QDialog::Accepted / QMessageBox::Yes style results (see the callers).
using ModalHookFn = std::function<int(const ModalRequest&)>;

// Installs (or, with an empty function, removes) the test hook. Process-wide.
void SetModalHook(ModalHookFn hook);
// The installed hook, or an empty function.
const ModalHookFn& ModalHook();

// Platform message boxes with the client's wording. Information boxes have an OK button;
// AskYesNo returns true for Yes.
void ShowMessageBox(QWidget* parent, const QString& text, const QString& caption = QString());
bool AskYesNo(QWidget* parent, const QString& text, const QString& caption);

class QMessageBox;
// After a modal run: the keyboard goes back to `parent`'s window. Without a window manager
// nobody else hands it back, and the window's shortcuts would stay dead.
void ReturnFocusTo(QWidget* parent);
// Gives the box's standard buttons their Chinese texts (确定, 取消, 是, 否), whatever
// translations are installed.
void SetChineseButtonTexts(QMessageBox& box);
