// A whole demonstration run in real time, as a user would do it: connect to the simulator
// on a pseudo-terminal, watch live values, use both service windows, disconnect, close.
// Under the sanitizer build this is the run that must be free of leaks.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "link/clock.h"
#include "link/qt_serial_device.h"
#include "sim/pty_ecu_server.h"
#include "ui/fault_window.h"
#include "ui/main_window.h"
#include "ui/test_window.h"

namespace kline::ui {
namespace {

TEST(DemoSession, ConnectPollServiceWindowsDisconnect) {
  sim::PtyEcuServer server(sim::BuiltinProfile(EcuType::k15m), {});
  std::string error;
  ASSERT_TRUE(server.Start(&error)) << error;
  QTemporaryDir dir;
  QtSerialDevice device;
  SteadyClock clock;
  auto window = std::make_unique<MainWindow>(device, clock, dir.filePath("demo.ini"));
  window->SetPortFieldText(QString::fromStdString(server.slave_path()));
  window->show();
  auto* connect = window->findChild<QCheckBox*>(QStringLiteral("Check2(0)"));
  connect->click();
  auto* rpm = window->findChild<QLineEdit*>(QStringLiteral("Text1(0)"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !rpm->text().isEmpty(); }, 8000));

  window->TestsMenu()->trigger();
  TestWindow* tests = window->Form1();
  ASSERT_NE(tests, nullptr);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !tests->Rtb1()->toPlainText().isEmpty(); }, 3000));
  EXPECT_TRUE(tests->Rtb1()->toPlainText().startsWith("Enter in diagnostic mode OK"));
  tests->findChild<QPushButton*>(QStringLiteral("Command7"))->click();  // clears at once
  EXPECT_TRUE(tests->Rtb1()->toPlainText().contains("Test finish"));
  tests->close();
  ASSERT_TRUE(QTest::qWaitFor([&] { return window->isVisible(); }, 3000));

  window->DiagMenu()->trigger();
  FaultWindow* faults = window->Form3();
  ASSERT_NE(faults, nullptr);
  faults->findChild<QPushButton*>(QStringLiteral("Command1"))->click();  // Unirams
  EXPECT_EQ(faults->Rtb1()->toPlainText().count('\n'), 8);
  faults->findChild<QAction*>(QStringLiteral("back"))->trigger();
  EXPECT_TRUE(window->isVisible());

  connect->click();
  EXPECT_EQ(connect->text(), QStringLiteral("Connect"));
  window->close();
  window.reset();
  server.Stop();
}

}  // namespace
}  // namespace kline::ui
