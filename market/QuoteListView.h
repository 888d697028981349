#pragma once

#include "core/TFormView.h"

#include <QString>

#include <cstdint>
#include <string>
#include <vector>

class CBoardModel;
class QLabel;
class QSortFilterProxyModel;
class QTableView;
class QTimer;

// A list of securities with the day's figures from the quote board, refreshed about once a
// second while shown, sortable by any column (numbers as numbers), keeping its order and
// selection across refreshes. Enter or a double-click opens the chart, F1 / F2 the buy /
// sell form with the code filled in. A server that never answers the board is told.
class CQuoteListView : public CTFormView {
    Q_OBJECT
public:
    ~CQuoteListView() override;

    void OnInitialUpdate() override;
    void OnRefreshKey() override;
    // One tick: asks for the board and shows what the last answers left.
    void Refresh();

    QTableView* Table() const { return m_table; }
    CBoardModel* Model() const { return m_model; }
    QLabel* Notice() const { return m_notice; }
    // The code of the row under the selection; empty when none.
    QString SelectedCode() const;
    // Selects the row of `code` (true when it is listed).
    bool SelectCode(const QString& code);

    static constexpr int kRefreshMs = 1000;

protected:
    CQuoteListView(ClientContext& context, QWidget* parent, const QString& title);

    // The securities to list; every one when `all`.
    virtual bool ListsAll() const = 0;
    virtual std::vector<std::string> Codes() const { return {}; }
    // Keys the list handles beyond the common ones (Insert, Delete in the watchlist).
    virtual bool OnListKey(int key) {
        (void)key;
        return false;
    }
    // Shows the list again at once (the watchlist changed).
    void Reload();

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowRows();
    void OpenChartOfSelection();

    CBoardModel* m_model = nullptr;
    QSortFilterProxyModel* m_sorted = nullptr;
    QTableView* m_table = nullptr;
    QLabel* m_notice = nullptr;
    QTimer* m_timer = nullptr;
    std::uint64_t m_shownVersion = 0;
};

// 行情报价: every security the server trades.
class CQuoteBoardView final : public CQuoteListView {
    Q_OBJECT
public:
    explicit CQuoteBoardView(ClientContext& context, QWidget* parent = nullptr);

protected:
    bool ListsAll() const override { return true; }
};

// 自选股: the contestant's own list; Insert adds the code typed in a small dialog (or the
// lookup's pick), Delete removes the selected one.
class CWatchlistView final : public CQuoteListView {
    Q_OBJECT
public:
    explicit CWatchlistView(ClientContext& context, QWidget* parent = nullptr);

    // Adds `code` to the user's list and shows it; false when it was listed already or the
    // list cannot be kept.
    bool AddCode(const QString& code);
    bool RemoveSelected();

protected:
    bool ListsAll() const override { return false; }
    std::vector<std::string> Codes() const override;
    bool OnListKey(int key) override;
};
