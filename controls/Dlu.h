#pragma once

#include <QRect>

// Dialog units of the 8-point dialog font: 1 across ≈ 1.5 px, 1 down ≈ 1.625 px.
inline int DluX(int units) {
    return units * 3 / 2;
}
inline int DluY(int units) {
    return units * 13 / 8;
}
inline QRect DluRect(int x, int y, int w, int h) {
    return QRect(DluX(x), DluY(y), DluX(w), DluY(h));
}
