#pragma once

#include "account/ListCtrlCl.h"

#include <QColor>
#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

// Text colours that the account views give their rows.
inline const QColor kRowRed(255, 0, 0);
inline const QColor kRowBlue(0, 0, 255);
inline const QColor kRowBlack(0, 0, 0);

// The set-up every account list gets: a header 1.5 times as tall, 26-pixel rows, fixed
// column widths, the columns in order and a rule above the titles.
void SetUpAccountList(CListCtrlCl& list, const std::vector<CListCtrlCl::Column>& columns);

// Appends a row with `cells` (column 0 first) and returns its index.
int AppendAccountRow(CListCtrlCl& list, const QStringList& cells);

// Gives every cell of `row` the text colour `colour`.
void ColourAccountRow(CListCtrlCl& list, int row, const QColor& colour);
