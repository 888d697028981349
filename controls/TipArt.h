#pragma once

#include <QColor>
#include <QPixmap>
#include <QString>

// The pictures of the two message dialogs, drawn once in code: the 341 x 182 background
// with its title strip (提示) and the image buttons.
namespace tip_art {

inline constexpr int kWidth = 341;
inline constexpr int kHeight = 182;
inline constexpr int kTitleHeight = 28;
inline constexpr int kButtonWidth = 72;
inline constexpr int kButtonHeight = 26;

// Both are drawn at `dpr` device pixels per logical pixel, so they stay sharp on a scaled
// screen; their logical size does not change.
QPixmap Background(qreal dpr = 1.0);
// A rounded image button face with `label`; `face` is its main colour.
QPixmap ButtonImage(const QString& label, const QColor& face, qreal dpr = 1.0);

} // namespace tip_art
