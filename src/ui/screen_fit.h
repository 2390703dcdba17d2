// A window's first size, kept within the screen it opens on: on a small or enlarged screen
// (1.5 or 2.0 scale on a 1280x768 laptop) a window wanted taller than the screen would open
// with its buttons out of reach.
#pragma once

#include <QSize>
#include <QWidget>

namespace kline::ui {

// Resizes `window` to `wanted`, or to as much of it as the available screen holds, leaving room
// for the window's frame; never below what the window's layout needs.
void ResizeWithinScreen(QWidget& window, QSize wanted);

}  // namespace kline::ui
