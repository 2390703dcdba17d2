// A whole demonstration run in real time, as a user would do it: connect to the simulator
// on a pseudo-terminal, watch live values, use both service windows, disconnect, close.
// Under the sanitizer build this is the run that must be free of leaks.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <tuple>

#include "engine/engine_thread.h"
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
  EngineThread engine(
      {.device = nullptr, .clock = nullptr, .settings_path = dir.filePath("demo.ini")});
  auto window = std::make_unique<MainWindow>(engine.engine(), dir.filePath("demo.ini"));
  window->SetPortFieldText(QString::fromStdString(server.slave_path()));
  window->show();
  auto* connect = window->findChild<QCheckBox*>(QStringLiteral("Check2(0)"));
  connect->click();
  auto* rpm = window->findChild<QLineEdit*>(QStringLiteral("Text1(0)"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !rpm->text().isEmpty(); }, 8000));

  ASSERT_TRUE(QTest::qWaitFor([&] { return window->TestsMenu()->isEnabled(); }, 3000));
  window->TestsMenu()->trigger();
  QPointer<TestWindow> tests;
  ASSERT_TRUE(QTest::qWaitFor([&] { return (tests = window->Form1()) != nullptr; }, 3000));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !tests->Rtb1()->toPlainText().isEmpty(); }, 3000));
  EXPECT_TRUE(tests->Rtb1()->toPlainText().startsWith("Enter in diagnostic mode OK"));
  tests->findChild<QPushButton*>(QStringLiteral("Command7"))->click();  // clears at once, once
  auto* ask = tests->findChild<QMessageBox*>(QStringLiteral("ConfirmClear"));  // confirmed
  ASSERT_NE(ask, nullptr);
  ask->findChild<QPushButton*>(QStringLiteral("Clear"))->click();
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return tests->Rtb1()->toPlainText().contains("Test finish"); }, 3000));
  tests->close();
  ASSERT_TRUE(QTest::qWaitFor([&] { return window->isVisible(); }, 3000));

  window->DiagMenu()->trigger();
  QPointer<FaultWindow> faults;
  ASSERT_TRUE(QTest::qWaitFor([&] { return (faults = window->Form3()) != nullptr; }, 3000));
  faults->findChild<QPushButton*>(QStringLiteral("Command1"))->click();  // Unirams
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return faults->Rtb1()->toPlainText().count('\n') == 8; }, 3000));
  faults->findChild<QAction*>(QStringLiteral("back"))->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return window->isVisible(); }, 3000));

  connect->click();
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return connect->text().remove(QLatin1Char('&')) == QStringLiteral("Connect"); }, 3000));
  window->close();
  engine.Stop();
  window.reset();
  server.Stop();
}

#ifdef KLINE_DIAG_PATH
// On a machine without a display: no window system may be touched before they answer.
// A stray word on the command line is refused there too, not ignored.
TEST(DemoSession, HelpVersionAndMistakesNeedNoDisplay) {
  const std::tuple<const char*, int, const char*> cases[] = {
      {"--help", 0, "kline-diag"},
      {"--version", 0, "kline-diag"},
      {"connect", 2, "unexpected argument \"connect\""}};
  for (const auto& [option, status, says] : cases) {
    QProcess program;
    QProcessEnvironment bare = QProcessEnvironment::systemEnvironment();
    bare.remove(QStringLiteral("DISPLAY"));
    bare.remove(QStringLiteral("WAYLAND_DISPLAY"));
    bare.remove(QStringLiteral("QT_QPA_PLATFORM"));
    program.setProcessEnvironment(bare);
    program.start(QStringLiteral(KLINE_DIAG_PATH), {QString::fromLatin1(option)});
    ASSERT_TRUE(program.waitForFinished(10000)) << option;
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << option;
    EXPECT_EQ(program.exitCode(), status) << option;
    const QByteArray said = program.readAllStandardOutput() + program.readAllStandardError();
    EXPECT_TRUE(said.contains(says)) << option << ": " << said.toStdString();
  }
}
#endif

}  // namespace
}  // namespace kline::ui
