#pragma once

#include "controls/ModalHook.h"

#include <QDialog>
#include <QList>
#include <QMessageBox>
#include <QStringList>

#include <deque>
#include <functional>
#include <initializer_list>
#include <optional>

namespace tavix::test {

// Installs a modal hook for its lifetime: every dialog or message box the code under test
// would show is recorded and answered at once, without a modal loop. Answers come from the
// queue when one is there, else from `answer`, else "yes": QMessageBox::Yes for a yes/no
// box, QDialog::Accepted for anything else. `onShow` runs while the request is "open".
class ModalRecorder final {
public:
    ModalRecorder() {
        SetModalHook([this](const ModalRequest& request) {
            requests.append(request);
            if (onShow)
                onShow(request);
            if (!m_queued.empty()) {
                const Answer next = m_queued.front();
                m_queued.pop_front();
                return next.exact ? *next.exact : YesFor(request, next.yes);
            }
            return answer ? *answer : YesFor(request, true);
        });
    }
    ~ModalRecorder() { SetModalHook({}); }
    ModalRecorder(const ModalRecorder&) = delete;
    ModalRecorder& operator=(const ModalRecorder&) = delete;

    // The texts of the requests so far, in order.
    QStringList Texts() const {
        QStringList texts;
        for (const ModalRequest& r : requests)
            texts << r.text;
        return texts;
    }
    // The next request gets exactly `result`.
    void QueueAnswer(int result) { m_queued.push_back({result, true}); }
    // The next request is answered yes (Yes / Accepted) or no (No / Rejected), by its kind.
    void QueueYes(bool yes) { m_queued.push_back({std::nullopt, yes}); }
    void QueueYes(std::initializer_list<bool> answers) {
        for (bool yes : answers)
            QueueYes(yes);
    }

    QList<ModalRequest> requests;
    std::optional<int> answer; // the answer when nothing is queued
    std::function<void(const ModalRequest&)> onShow;

private:
    struct Answer {
        std::optional<int> exact;
        bool yes;
    };
    static int YesFor(const ModalRequest& request, bool yes) {
        if (request.kind == ModalRequest::Kind::kMessageBoxYesNo)
            return int(yes ? QMessageBox::Yes : QMessageBox::No);
        return int(yes ? QDialog::Accepted : QDialog::Rejected);
    }
    std::deque<Answer> m_queued;
};

} // namespace tavix::test
