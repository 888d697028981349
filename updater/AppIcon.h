#pragma once

#include <QIcon>

// The updater's window and task icon: a white downward arrow on a blue tile.
QIcon UpdaterIcon();
