#include "ui/screen_fit.h"

#include <QScreen>

namespace kline::ui {

namespace {

// The title bar and borders a window manager adds around the window's own area.
constexpr int kFrameWidth = 16;
constexpr int kFrameHeight = 48;

}  // namespace

void ResizeWithinScreen(QWidget& window, QSize wanted) {
  if (const QScreen* screen = window.screen()) {
    const QSize room = screen->availableGeometry().size() - QSize(kFrameWidth, kFrameHeight);
    wanted = wanted.boundedTo(room).expandedTo(window.minimumSizeHint());
  }
  window.resize(wanted);
}

}  // namespace kline::ui
