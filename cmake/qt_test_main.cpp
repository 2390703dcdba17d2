// Test entry point: GoogleTest inside a QApplication, so serial ports, timers and widgets
// behave as they do in the program.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
  if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", KLINE_TEST_PLATFORM);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
