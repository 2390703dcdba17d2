// The real window, the real serial port and the simulated ECU on a pseudo-terminal, in real
// time: what a user sees from "Connect" to "Disconnect".
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "link/clock.h"
#include "link/qt_serial_device.h"
#include "sim/pty_ecu_server.h"
#include "ui/main_window.h"
#include "ui/pictures.h"

namespace kline::ui {
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
    window_ = std::make_unique<MainWindow>(device_, clock_, dir_.filePath(QStringLiteral("k.ini")));
    window_->SelectType(GetParam());
    window_->SetPortFieldText(QString::fromStdString(server_->slave_path()));
    window_->show();
  }
  void TearDown() override {
    window_.reset();
    if (server_) server_->Stop();
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
    ASSERT_EQ(ConnectBox()->text(), QStringLiteral("Disconnect"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Info().contains(QStringLiteral("calibration")); },
                                kConnectBoundMs))
        << Info().toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window_->ValueText(kWatched).empty(); }, 3000));
  }

  QTemporaryDir dir_;
  sim::Profile profile_;
  std::unique_ptr<sim::PtyEcuServer> server_;
  QtSerialDevice device_;
  SteadyClock clock_;
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
  EXPECT_FALSE(window_->ValueText(7).empty()) << "battery";
  if (GetParam() != EcuType::kP8) {
    EXPECT_FALSE(window_->ValueText(0).empty()) << "engine speed";
  }

  ConnectBox()->click();
  EXPECT_EQ(ConnectBox()->text(), QStringLiteral("Connect"));
  EXPECT_TRUE(Info().isEmpty());
  for (int i = 0; i < kChannelCount; ++i) EXPECT_TRUE(window_->ValueText(i).empty()) << i;
  EXPECT_TRUE(QTest::qWaitFor([&] { return !server_->PcPortOpen(); }, 2000));
}

TEST_P(EndToEndTest, PulledCableEndsDisconnected) {
  ConnectAndPoll();
  server_->InjectFault(sim::FaultKind::kCablePulled);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !ConnectBox()->isChecked(); }, 5000));
  EXPECT_EQ(ConnectBox()->text(), QStringLiteral("Connect"));
  EXPECT_EQ(window_->Shape1()->FillColour(), kIndicatorRed);
  EXPECT_FALSE(window_->SessionTimerRunning());
  EXPECT_TRUE(window_->ValueText(kWatched).empty());
  EXPECT_TRUE(window_->statusBar()->currentMessage().contains(
      QString::fromStdString(server_->slave_path())));
}

INSTANTIATE_TEST_SUITE_P(Types, EndToEndTest, ::testing::Values(EcuType::k15m, EcuType::kP8),
                         [](const auto& info) { return std::string(EcuTypeName(info.param)); });

}  // namespace
}  // namespace kline::ui
