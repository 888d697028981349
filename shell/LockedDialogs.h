#pragma once

#include <functional>
#include <vector>

class QWidget;

// What the lock does to the dialogs open when it comes: nothing of the account may stay
// readable or usable behind the lock screen. Every visible top-level dialog except `keep`
// is closed; a question counts as answered "no". The messages among them come back as the
// calls that show them again, in the order they were found, for after the unlock (with
// `parent` as their owner).
std::vector<std::function<void()>> CloseDialogsForLock(QWidget* parent, const QWidget* keep);
