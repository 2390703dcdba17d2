// The real window, the real serial port and the simulated ECU on a pseudo-terminal, in real
// time: what a user sees from "Connect" to "Disconnect".
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <memory>

#include "engine/engine_thread.h"
#include "sim/pty_ecu_server.h"
#include "ui/main_window.h"
#include "ui/pictures.h"
#include "ui/test_window.h"

namespace kline {

// Listings name the type, not its bytes.
void PrintTo(EcuType type, std::ostream* os) { *os << EcuTypeName(type); }

namespace ui {
namespace {

constexpr int kConnectBoundMs = 8000;

std::string Text(const sim::Profile& profile, uint8_t first, uint8_t last) {
  std::string text;
  for (int request = first; request <= last; ++request) {
    text += static_cast<char>(profile.answers.at(static_cast<uint8_t>(request)));
  }
  return text;
}

class EndToEndTest : public ::testing::TestWithParam<EcuType> {
 protected:
  void SetUp() override {
    profile_ = sim::BuiltinProfile(GetParam());
    // A P8 is not woken: its ignition is on before the user connects.
    sim::PtyEcuServer::Options options;
    options.ignition_delay_ms = profile_.needs_wake_up ? 500 : 0;
    server_ = std::make_unique<sim::PtyEcuServer>(profile_, options);
    std::string error;
    ASSERT_TRUE(server_->Start(&error)) << error;
    const QString ini = dir_.filePath(QStringLiteral("k.ini"));
    engine_ = std::make_unique<EngineThread>(
        EngineSetup{.device = nullptr, .clock = nullptr, .settings_path = ini});
    window_ = std::make_unique<MainWindow>(engine_->engine(), ini);
    window_->SelectType(GetParam());
    window_->SetPortFieldText(QString::fromStdString(server_->slave_path()));
    window_->show();
  }
  void TearDown() override {
    if (engine_) engine_->Stop();
    window_.reset();
    engine_.reset();
    if (server_) server_->Stop();
  }

  std::string Value(int channel) {
    return window_->findChild<QLineEdit*>(QStringLiteral("Text1(%1)").arg(channel))
        ->text()
        .toStdString();
  }
  // Asks the engine on its own thread.
  bool SessionTimerRunning() {
    bool running = false;
    DiagnosticEngine* engine = &engine_->engine();
    QMetaObject::invokeMethod(
        engine, [engine] { return engine->SessionTimerRunning(); }, Qt::BlockingQueuedConnection,
        &running);
    return running;
  }
  QCheckBox* ConnectBox() { return window_->findChild<QCheckBox*>(QStringLiteral("Check2(0)")); }
  QString Info() {
    return window_->findChild<QPlainTextEdit*>(QStringLiteral("Text4"))->toPlainText();
  }
  // The channel every type polls from the start: throttle (P8 connects with only it and battery).
  static constexpr int kWatched = 6;

  // Connects and waits for the identification texts and the first live values.
  void ConnectAndPoll() {
    ConnectBox()->click();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
          return ConnectBox()->text().remove(QLatin1Char('&')) == QStringLiteral("Disconnect");
        },
        2000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Info().contains(QStringLiteral("calibration")); },
                                kConnectBoundMs))
        << Info().toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !Value(kWatched).empty(); }, 3000));
  }

  QTemporaryDir dir_;
  sim::Profile profile_;
  std::unique_ptr<sim::PtyEcuServer> server_;
  std::unique_ptr<EngineThread> engine_;
  std::unique_ptr<MainWindow> window_;
};

TEST_P(EndToEndTest, ConnectIdentifyPollDisconnect) {
  ConnectAndPoll();
  const std::string info = Info().toStdString();
  EXPECT_NE(info.find("ecu data    : " + Text(profile_, 0x17, 0x20) + "\n"), std::string::npos)
      << info;
  EXPECT_NE(info.find("calibration : " + Text(profile_, 0x21, 0x28) + "\n"), std::string::npos)
      << info;
  EXPECT_EQ(info.find("Iso Code") != std::string::npos, profile_.needs_wake_up) << info;
  EXPECT_TRUE(window_->TestsMenu()->isEnabled());
  // Battery is polled after the watched channel, in the same step.
  EXPECT_TRUE(QTest::qWaitFor([&] { return !Value(7).empty(); }, 1000)) << "battery";
  if (GetParam() != EcuType::kP8) {
    EXPECT_FALSE(Value(0).empty()) << "engine speed";
  }

  ConnectBox()->click();
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return ConnectBox()->text().remove(QLatin1Char('&')) == QStringLiteral("Connect"); },
      3000));
  EXPECT_TRUE(Info().isEmpty());
  for (int i = 0; i < kChannelCount; ++i) EXPECT_TRUE(Value(i).empty()) << i;
  EXPECT_TRUE(QTest::qWaitFor([&] { return !server_->PcPortOpen(); }, 2000));
}

TEST_P(EndToEndTest, PulledCableEndsDisconnected) {
  ConnectAndPoll();
  server_->InjectFault(sim::FaultKind::kCablePulled);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !ConnectBox()->isChecked(); }, 5000));
  EXPECT_EQ(ConnectBox()->text().remove(QLatin1Char('&')), QStringLiteral("Connect"));
  EXPECT_EQ(window_->Shape1()->FillColour(), kIndicatorRed);
  EXPECT_FALSE(SessionTimerRunning());
  EXPECT_TRUE(Value(kWatched).empty());
  EXPECT_TRUE(window_->StatusText().contains(QString::fromStdString(server_->slave_path())));
}

// Closing the window inside an actuator test's long wait: the engine leaves diagnostic mode,
// closes the port and its thread ends at once, not when the test would have.
TEST_P(EndToEndTest, ClosingInsideATestEndsAtOnce) {
  ConnectAndPoll();
  window_->TestsMenu()->trigger();
  TestWindow* tests = nullptr;
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        tests = window_->Form1();
        return tests && tests->Rtb1()->toPlainText().contains(QStringLiteral("OK"));
      },
      kConnectBoundMs));
  tests->Button(0)->click();  // the fuel pump runs for many seconds
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return tests->Rtb1()->toPlainText().contains(QStringLiteral("Fuel pump")); }, 3000));
  QElapsedTimer timer;
  timer.start();
  window_->close();
  engine_->Stop();
  // The fuel pump's answer is seconds away; the bench measures the real figure.
  EXPECT_LT(timer.elapsed(), 1000);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !server_->PcPortOpen(); }, 2000));
  const std::vector<TraceEntry> trace = server_->Trace();
  const auto last = std::find_if(trace.rbegin(), trace.rend(), [](const TraceEntry& e) {
    return e.dir == TraceEntry::Dir::kPcSent;
  });
  ASSERT_NE(last, trace.rend());
  EXPECT_EQ(last->byte, 0xFF) << "the ECU was told to leave diagnostic mode";
}

INSTANTIATE_TEST_SUITE_P(Types, EndToEndTest, ::testing::Values(EcuType::k15m, EcuType::kP8),
                         [](const auto& info) { return std::string(EcuTypeName(info.param)); });

}  // namespace
}  // namespace ui
}  // namespace kline
