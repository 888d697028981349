#pragma once

#include <QIcon>
#include <QPixmap>

// The navigation tree's image strip: 17 images of 20 × 20 pixels side by side in a strip
// 341 pixels wide, drawn at run time.
QPixmap TreeImageStrip();

// The icon of a tree item: `image` normally, `selectedImage` while it is selected.
QIcon TreeIcon(const QPixmap& strip, int image, int selectedImage);
