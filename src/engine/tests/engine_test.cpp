// The engine driven by hand on virtual time, without a thread: the same wire as the
// session alone, and a port that only its owner's commands reach.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <algorithm>

#include "engine/diagnostic_engine.h"
#include "service/actuator_tests.h"
#include "session/session_driver.h"
#include "session/testing/sim_session.h"

namespace kline {
namespace {

using Dir = sim::TraceEntry::Dir;

class EngineTest : public ::testing::Test {
 protected:
  explicit EngineTest(EcuType type = EcuType::k15m)
      : line_(clock_, sim::BuiltinProfile(type), 500),
        engine_({.device = &line_,
                 .clock = &clock_,
                 .settings_path = dir_.filePath(QStringLiteral("k.ini"))}) {
    engine_.Start();
    engine_.driver()->SetDecimalSeparator('.');
    choices_.port_field = QStringLiteral("1");
    choices_.type = type;
    choices_.channels.fill(true);
  }

  // Lets the session timer run for `ms` of virtual time, as the engine's thread would.
  void Run(int64_t ms) {
    const int64_t end = clock_.NowMs() + ms;
    while (clock_.NowMs() < end && engine_.SessionTimerRunning()) {
      clock_.SleepMs(engine_.SessionTimerInterval());
      engine_.TimerTick();
    }
  }
  // Queues a command as a window would; it is applied where the routines let commands in.
  template <class F>
  void Queue(F command) {
    QMetaObject::invokeMethod(&engine_, command, Qt::QueuedConnection);
  }
  std::vector<sim::TraceEntry> SentSince(size_t from) const {
    std::vector<sim::TraceEntry> sent;
    for (size_t i = from; i < line_.trace().size(); ++i) {
      if (line_.trace()[i].dir == Dir::kPcSent) sent.push_back(line_.trace()[i]);
    }
    return sent;
  }
  void ConnectAndWake() {
    engine_.Connect(choices_);
    Run(6000);
    ASSERT_TRUE(engine_.driver()->init());
  }

  QTemporaryDir dir_;
  VirtualClock clock_;
  sim::SimulatedLine line_;
  DiagnosticEngine engine_;
  PanelChoices choices_;
};

TEST_F(EngineTest, WireIsTheSessionsOwn) {
  SimSession alone(EcuType::k15m);
  alone.Connect();
  alone.Run(6000);
  ConnectAndWake();
  const auto& ours = line_.trace();
  const auto& theirs = alone.line.trace();
  ASSERT_EQ(ours.size(), theirs.size());
  for (size_t i = 0; i < ours.size(); ++i) {
    EXPECT_EQ(ours[i], theirs[i]) << "entry " << i;
  }
}

TEST_F(EngineTest, SamplesAndFieldsReachTheWindowSide) {
  QSignalSpy samples(&engine_, &DiagnosticEngine::SampleTaken);
  QSignalSpy values(&engine_, &DiagnosticEngine::ValueTextChanged);
  ConnectAndWake();
  Run(2000);
  ASSERT_GT(samples.count(), 0);
  const auto sample = samples.last().at(0).value<LiveSample>();
  EXPECT_TRUE(sample.complete);
  EXPECT_EQ(sample.requests, 11);  // two each for speed and injection, one for the others
  EXPECT_TRUE(std::all_of(sample.values.begin(), sample.values.end(),
                          [](const auto& v) { return v.has_value(); }));
  EXPECT_GT(values.count(), 0);
}

TEST_F(EngineTest, GarbledAnswersAreToldFromTheTexts) {
  line_.InjectFault(sim::FaultKind::kGarbage);
  QSignalSpy messages(&engine_, &DiagnosticEngine::PortMessage);
  ConnectAndWake();
  Run(2000);
  ASSERT_FALSE(messages.isEmpty());
  EXPECT_TRUE(messages.last().at(0).toString().contains(QStringLiteral("garbled")));
}

// Diag, its "Back" (the window stays), Tests, then the fault window's close box: the test
// window must keep the port.
TEST_F(EngineTest, FaultWindowCannotTakeBackAPortItGaveAway) {
  ConnectAndWake();
  engine_.OpenFaultWindow();
  ASSERT_EQ(engine_.owner(), PortOwner::kFaultWindow);
  engine_.LeaveFaultWindow();
  ASSERT_EQ(engine_.owner(), PortOwner::kSession);
  engine_.OpenTestWindow();
  ASSERT_EQ(engine_.owner(), PortOwner::kTestWindow);

  QSignalSpy refused(&engine_, &DiagnosticEngine::Refused);
  const size_t mark = line_.trace().size();
  engine_.LeaveFaultWindow();
  Run(1000);
  engine_.OpenTestWindow();
  EXPECT_EQ(engine_.owner(), PortOwner::kTestWindow);
  EXPECT_FALSE(engine_.SessionTimerRunning());
  EXPECT_TRUE(SentSince(mark).empty());
  EXPECT_EQ(refused.count(), 1);
}

// A fault button pressed during an actuator test's progress wait: no exchange runs inside
// the test, and the test still gets its verdict.
TEST_F(EngineTest, FaultReadDuringATestIsRefused) {
  ConnectAndWake();
  engine_.OpenFaultWindow();
  engine_.LeaveFaultWindow();
  engine_.OpenTestWindow();
  QSignalSpy log(&engine_, &DiagnosticEngine::LogLine);
  QSignalSpy refused(&engine_, &DiagnosticEngine::Refused);
  const size_t mark = line_.trace().size();
  Queue([this] { engine_.ReadFault(0); });
  Queue([this] { engine_.LeaveFaultWindow(); });
  engine_.RunTest(0, QString());  // fuel pump: a slow test with a late final answer

  const auto sent = SentSince(mark);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].byte, 0x80);
  EXPECT_EQ(refused.count(), 1);
  EXPECT_EQ(engine_.owner(), PortOwner::kTestWindow);
  bool verdict = false;
  for (const auto& args : log) verdict |= args.at(1).toString() == QStringLiteral("Test finish");
  EXPECT_TRUE(verdict);
}

TEST_F(EngineTest, ShutdownInsideATestLeavesDiagnosticModeAndCloses) {
  ConnectAndWake();
  engine_.OpenTestWindow();
  QSignalSpy finished(&engine_, &DiagnosticEngine::Finished);
  const size_t mark = line_.trace().size();
  const int64_t start = clock_.NowMs();
  Queue([this] {
    engine_.RequestStop();
    engine_.Shutdown();
  });
  engine_.RunTest(0, QString());
  EXPECT_LT(clock_.NowMs() - start, 200);
  EXPECT_EQ(finished.count(), 1);
  EXPECT_FALSE(line_.IsOpen());
  const auto sent = SentSince(mark);
  ASSERT_FALSE(sent.empty());
  EXPECT_EQ(sent.back().byte, 0xFF);
}

}  // namespace
}  // namespace kline
