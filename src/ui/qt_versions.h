// The few calls that Qt 6 (the Linux build) and Qt 5.15 (the Windows build, for Windows 7)
// spell differently; everything else is written once for both.
#pragma once

#include <QMouseEvent>
#include <QPointF>

namespace kline::ui {

// Where the mouse was, in the receiving widget's coordinates.
inline QPointF MousePosition(const QMouseEvent& event) {
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
  return event.position();
#else
  return event.localPos();
#endif
}

}  // namespace kline::ui
