#pragma once

#include "wire/MarketRecords.h"

#include <QFrame>
#include <QString>

#include <functional>
#include <vector>

class QLineEdit;
class QListWidget;
struct ClientContext;

// The securities that `typed` finds, best first and at most `limit`: codes that start with
// it, then names whose pinyin initials start with it (letters in either case), then names
// that contain it.
std::vector<net::BoardRecord> MatchSecurities(const std::vector<net::BoardRecord>& board, const QString& typed,
                                              std::size_t limit = 20);

// The small list that typing a code, name or pinyin initials opens: an edit with the text so
// far and the matches below it. Up / Down move, Enter picks, Escape closes.
class CCodeLookup final : public QFrame {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CCodeLookup)
public:
    using Pick = std::function<void(const QString& code)>;

    CCodeLookup(ClientContext& context, QWidget* parent);

    // Shows the list under the parent's top-right corner with `typed` entered; `pick` gets the
    // chosen code.
    void Open(const QString& typed, Pick pick);
    QLineEdit* Edit() const { return m_edit; }
    QListWidget* List() const { return m_list; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Fill();
    void Choose();

    ClientContext& m_context;
    QLineEdit* m_edit = nullptr;
    QListWidget* m_list = nullptr;
    Pick m_pick;
};
