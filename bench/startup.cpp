// Time from the program's start to the main window shown and painted, offscreen, with a
// fresh settings file: QApplication, the engine's thread, the window's load step, the first paint.
#include <QApplication>
#include <QTemporaryDir>
#include <QTest>
#include <chrono>
#include <cstdio>

#include "engine/engine_thread.h"
#include "ui/main_window.h"

int main(int argc, char** argv) {
  const auto start = std::chrono::steady_clock::now();
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const auto app_ready = std::chrono::steady_clock::now();
  QTemporaryDir dir;
  kline::EngineThread engine(
      {.device = nullptr, .clock = nullptr, .settings_path = dir.filePath("startup.ini")});
  kline::ui::MainWindow window(engine.engine(), dir.filePath("startup.ini"));
  window.show();
  const bool exposed = QTest::qWaitForWindowExposed(&window);
  window.grab();  // the first full paint
  const auto shown = std::chrono::steady_clock::now();
  const auto ms = [](auto from, auto to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
  };
  std::printf("%-24s %10s\n%-24s %10.1f\n%-24s %10.1f\n", "", "ms", "application object",
              ms(start, app_ready), "main window shown", ms(start, shown));
  std::printf(
      "{\"bench\":\"startup\",\"application_ms\":%.1f,\"window_shown_ms\":%.1f,"
      "\"exposed\":%s}\n",
      ms(start, app_ready), ms(start, shown), exposed ? "true" : "false");
  return exposed ? 0 : 1;
}
