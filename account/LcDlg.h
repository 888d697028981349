#pragma once

#include <QBasicTimer>
#include <QWidget>

struct ClientContext;
class CListCtrlCl;

// The positions page of the buy and sell views: the current positions in a coloured list,
// revalued every 500 ms from the latest quotes. 盈亏 and 盈亏比列(%) stay empty until the
// first revaluation. A double-click on a row asks the hosting view to sell it.
class CLcDlg final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CLcDlg)
public:
    explicit CLcDlg(ClientContext& context, QWidget* parent = nullptr);
    ~CLcDlg() override;

    // Rebuilds the rows from the positions table.
    void FillPositionList();
    // One revaluation pass (the timer runs it every 500 ms).
    void RevaluePositions();
    CListCtrlCl* List() const { return m_list; }

signals:
    void sellRequested();

protected:
    void timerEvent(QTimerEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    ClientContext& m_context;
    CListCtrlCl* m_list = nullptr;
    QBasicTimer m_revalue;
};
