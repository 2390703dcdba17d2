// The engine on virtual time, driven as its thread would drive it: the same wire as the
// session alone, a port that only its owner's commands reach, and stops that leave the ECU
// the way a careful user would, whenever they come.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <algorithm>
#include <functional>
#include <tuple>

#include "engine/connection_watch.h"
#include "engine/line_batcher.h"
#include "engine/mirrors.h"
#include "engine/testing/engine_rig.h"
#include "service/actuator_tests.h"
#include "service/fault_memory.h"
#include "session/session_driver.h"
#include "session/testing/sim_session.h"

namespace kline {
namespace {

using Dir = TraceEntry::Dir;
using testing::EngineRig;
using testing::UserAction;

constexpr int64_t kMs = 1000;

std::vector<TraceEntry> SentSince(const EngineRig& rig, size_t from) {
  std::vector<TraceEntry> sent;
  for (size_t i = from; i < rig.line.trace().size(); ++i) {
    if (rig.line.trace()[i].dir == Dir::kPcSent) sent.push_back(rig.line.trace()[i]);
  }
  return sent;
}

std::optional<int64_t> NoteTime(const EngineRig& rig, const std::string& text) {
  for (const TraceNote& note : rig.line.notes()) {
    if (note.text == text) return note.time_us;
  }
  return std::nullopt;
}

void ConnectAndWake(EngineRig& rig) {
  rig.Plan(rig.clock.NowUs(), UserAction::kConnect);
  rig.Run(6000);
  ASSERT_TRUE(rig.engine.driver()->init());
}

void ExpectCarefulWire(const EngineRig& rig) {
  const std::vector<std::string> violations = rig.Violations();
  EXPECT_TRUE(violations.empty()) << violations.front() << "\n" << rig.TraceText();
}

TEST(EngineTest, WireIsTheSessionsOwn) {
  SimSession alone(EcuType::k15m);
  alone.Connect();
  alone.Run(6000);
  EngineRig rig(EcuType::k15m);
  QSignalSpy samples(&rig.engine.events(), &EngineEvents::SampleTaken);
  ConnectAndWake(rig);
  // The two loops may end a tick apart; up to there the wire is the same.
  const auto& ours = rig.line.trace();
  const auto& theirs = alone.line.trace();
  const size_t common = std::min(ours.size(), theirs.size());
  ASSERT_GT(common, 600u);
  for (size_t i = 0; i < common; ++i) EXPECT_EQ(ours[i], theirs[i]) << "entry " << i;
  // And the live samples reach the window side whole.
  ASSERT_GT(samples.count(), 0);
  const auto sample = samples.last().at(0).value<LiveSample>();
  EXPECT_TRUE(sample.complete);
  EXPECT_EQ(sample.requests, 11);  // two each for speed and injection, one for the others
  EXPECT_TRUE(std::all_of(sample.values.begin(), sample.values.end(),
                          [](const auto& v) { return v.has_value(); }));
}

// The line monitor's rows run forward in time, also across the wake-up, whose echoes are read
// only after the identification has begun.
TEST(EngineTest, LineMonitorTimesNeverGoBack) {
  EngineRig rig(EcuType::k15m);
  ConnectAndWake(rig);
  const std::vector<LineEntry> entries = rig.engine.line_log().Entries();
  ASSERT_GT(entries.size(), 30u);
  for (size_t i = 1; i < entries.size(); ++i) {
    EXPECT_GE(entries[i].time_us, entries[i - 1].time_us) << "row " << i;
  }
}

// Identification characters may be any byte: texts with bytes B0, 00 and FF are no sign of a
// garbled line, which only the wire shows (echoes not as sent, bytes out of place).
TEST(EngineTest, AnyTextByteIsNoSignOfAGarbledLine) {
  EngineRig rig(EcuType::k15m);
  QSignalSpy messages(&rig.engine.events(), &EngineEvents::Diagnosed);
  rig.line.SetAnswer(0x17, 0xB0);
  rig.line.SetAnswer(0x18, 0x00);
  rig.line.SetAnswer(0x21, 0xFF);
  ConnectAndWake(rig);
  for (const auto& args : messages) EXPECT_FALSE(args.at(1).toString().contains("garbled"));
}

// A wake-up whose bytes left too far apart, then nothing but echoes: the diagnosis names the
// busy computer, not the ECU or the cable.
TEST(EngineTest, AWakeUpSentTooSlowlyIsWhatFailed) {
  for (const bool late : {false, true}) {
    LineLog log;
    ConnectionWatch watch(
        log, [] { return true; }, nullptr);
    QSignalSpy said(&watch, &ConnectionWatch::Diagnosed);
    watch.Connected(0);
    watch.AfterWakeUp(log.observation(), false, late);
    watch.OnSample(LiveSample{});
    ASSERT_FALSE(said.isEmpty());
    EXPECT_EQ(said.last().at(0).value<ConnectionFinding>() == ConnectionFinding::kWakeUpLate, late)
        << said.last().at(1).toString().toStdString();
  }
}

// Each sentence the watch can say, from a simulated ECU that earns it, and what the
// simulator's own trace shows for it.
TEST(EngineTest, EveryDiagnosisIsWhatTheTraceShows) {
  using sim::FaultKind;
  using Trace = std::vector<TraceEntry>;
  const auto count = [](const Trace& trace, Dir dir) {
    return std::count_if(trace.begin(), trace.end(), [&](const auto& e) { return e.dir == dir; });
  };
  // Requests whose echo came back and after which the ECU said nothing before the next one.
  const auto unanswered = [](const Trace& trace) {
    int n = 0;
    for (size_t i = 0; i < trace.size(); ++i) {
      if (trace[i].dir != Dir::kPcSent) continue;
      size_t j = i + 1;
      while (j < trace.size() && trace[j].dir == Dir::kEcho) ++j;
      if (j > i + 1 && j < trace.size() && trace[j].dir == Dir::kPcSent) ++n;
    }
    return n;
  };
  struct Case {
    const char* what;
    EcuType profile;
    EcuType selected;
    int ignition_delay_ms;
    std::vector<std::pair<FaultKind, int>> faults;
    const char* phrase;
    std::function<bool(const Trace&)> shows;
  };
  const Case cases[] = {
      {"the ignition never on",
       EcuType::k15m,
       EcuType::k15m,
       -1,
       {},
       "No bytes at all have come from the ECU",
       [&](const Trace& t) { return count(t, Dir::kEcuSent) + count(t, Dir::kEcho) == 0; }},
      {"no echo and no ECU",
       EcuType::kP8,
       EcuType::kP8,
       -1,
       {{FaultKind::kNoEcho, 0}},
       "not even the echo",
       [&](const Trace& t) {
         return count(t, Dir::kPcSent) > 0 && count(t, Dir::kEcuSent) + count(t, Dir::kEcho) == 0;
       }},
      {"a P8 with the ignition off",
       EcuType::kP8,
       EcuType::kP8,
       -1,
       {},
       "Only the echo of our own bytes came back",
       [&](const Trace& t) { return count(t, Dir::kEcho) > 0 && count(t, Dir::kEcuSent) == 0; }},
      {"an interface that does not echo",
       EcuType::kP8,
       EcuType::kP8,
       0,
       {{FaultKind::kNoEcho, 0}},
       "the interface does not echo",
       [&](const Trace& t) { return count(t, Dir::kEcuSent) > 0 && count(t, Dir::kEcho) == 0; }},
      {"a 15m woken as a P8",
       EcuType::k15m,
       EcuType::kP8,
       500,
       {},
       "that are not answers: the ECU talks at another rate",
       [](const Trace& t) {
         return std::any_of(t.begin(), t.end(), [](const auto& e) {
           return e.dir == Dir::kEcuSent && e.baud != kWorkingBaud;
         });
       }},
      {"an adapter stuck at another rate",
       EcuType::k15m,
       EcuType::k15m,
       500,
       {{FaultKind::kWrongRate, 9600}},
       "The wake-up failed: the",
       [](const Trace& t) {
         return std::any_of(t.begin(), t.end(),
                            [](const auto& e) { return e.dir == Dir::kEcuSent && e.garbled; });
       }},
      {"a stray byte before every echo",
       EcuType::k15m,
       EcuType::k15m,
       500,
       {{FaultKind::kStrayByte, 0x42}},
       "The ECU's answers arrive garbled",
       [](const Trace& t) {
         return std::any_of(t.begin(), t.end(), [](const auto& e) {
           return e.dir == Dir::kEcuSent && e.byte == 0x42 && e.garbled;
         });
       }},
      // The wake-up's three bytes and the 18 of the identification, then the first live one.
      {"one lost answer after the identification",
       EcuType::k15m,
       EcuType::k15m,
       500,
       {{FaultKind::kDropAnswer, 22}},
       "The ECU answered its identification, but its live data requests bring back only their "
       "echo",
       [&](const Trace& t) { return unanswered(t) >= 1; }},
      {"answers later than the wait",
       EcuType::k15m,
       EcuType::k15m,
       500,
       {{FaultKind::kLateAnswer, 2500}},
       "come after the wait for them has ended",
       [](const Trace& t) {
         int64_t asked_us = 0;
         for (const TraceEntry& e : t) {
           if (e.dir == Dir::kPcSent) asked_us = e.time_us;
           if (e.dir == Dir::kEcuSent && e.time_us - asked_us > kAnswerBoundMs * kMs) return true;
         }
         return false;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EngineRig rig(c.profile, c.ignition_delay_ms);
    rig.choices.type = c.selected;
    QSignalSpy said(&rig.engine.events(), &EngineEvents::Diagnosed);
    for (const auto& [fault, arg] : c.faults) rig.line.InjectFault(fault, arg);
    rig.Plan(rig.clock.NowUs(), UserAction::kConnect);
    rig.Run(80000);
    QStringList sentences;
    for (const auto& args : said) sentences << args.at(1).toString();
    EXPECT_TRUE(std::any_of(sentences.begin(), sentences.end(), [&](const QString& s) {
      return s.contains(QLatin1String(c.phrase));
    })) << sentences.join(u'\n').toStdString();
    EXPECT_TRUE(c.shows(rig.line.trace())) << rig.TraceText().substr(0, 3000);
  }
}

// An ECU that answers "no value" (FF) on every channel, as a 15m does for the engine speed
// with the engine stopped, is answering: no diagnosis.
TEST(EngineTest, NoValueIsAnAnswer) {
  for (EcuType type : {EcuType::k15m, EcuType::kP8}) {
    SCOPED_TRACE(EcuTypeName(type));
    EngineRig rig(type);
    QSignalSpy samples(&rig.engine.events(), &EngineEvents::SampleTaken);
    QSignalSpy diagnoses(&rig.engine.events(), &EngineEvents::Diagnosed);
    for (uint8_t request = 0x01; request <= 0x0F; ++request) rig.line.SetAnswer(request, 0xFF);
    ConnectAndWake(rig);
    rig.engine.SetChannel(0, true);  // a P8 connects with the speed unticked
    rig.Run(1000);
    ASSERT_GT(samples.count(), 0);
    const auto sample = samples.last().at(0).value<LiveSample>();
    EXPECT_TRUE(sample.complete);
    EXPECT_GT(sample.answered, 0);
    EXPECT_TRUE(diagnoses.isEmpty()) << diagnoses.last().at(1).toString().toStdString();
  }
}

// Diag, its "Back" (the window stays), Tests, then the fault window's "Back" again: the test
// window must keep the port.
TEST(EngineTest, FaultWindowCannotTakeBackAPortItGaveAway) {
  EngineRig rig(EcuType::k15m);
  ConnectAndWake(rig);
  rig.engine.EnterFaultReading();
  ASSERT_EQ(rig.engine.owner(), PortOwner::kFaultWindow);
  rig.engine.LeaveFaultReading();
  ASSERT_EQ(rig.engine.owner(), PortOwner::kSession);
  rig.engine.EnterTests();
  ASSERT_EQ(rig.engine.owner(), PortOwner::kTestWindow);

  QSignalSpy refused(&rig.engine.events(), &EngineEvents::Refused);
  const size_t mark = rig.line.trace().size();
  rig.engine.LeaveFaultReading();
  rig.Run(1000);
  rig.engine.EnterTests();
  EXPECT_EQ(rig.engine.owner(), PortOwner::kTestWindow);
  EXPECT_FALSE(rig.engine.SessionTimerRunning());
  EXPECT_TRUE(SentSince(rig, mark).empty());
  EXPECT_EQ(refused.count(), 1);
}

// A stop at any moment of the wake-up: the routine sends nothing more (no AA or CC without
// its pause, no rate switch with bytes queued, no identification), and the port closes.
TEST(EngineTest, StopDuringTheWakeUpSendsNothingMore) {
  const std::tuple<EcuType, int64_t> cases[] = {
      {EcuType::k15m, 700},  {EcuType::k15m, 1300}, {EcuType::k15m, 1350}, {EcuType::k15m, 1480},
      {EcuType::k15m, 1700}, {EcuType::k16m, 1350}, {EcuType::k15Rc, 300}, {EcuType::k15Rc, 800}};
  for (const auto& [type, stop_ms] : cases) {
    SCOPED_TRACE(std::string(EcuTypeName(type)) + " stop at " + std::to_string(stop_ms));
    EngineRig rig(type);
    rig.Plan(0, UserAction::kConnect);
    rig.Plan(stop_ms * kMs, UserAction::kStop);
    rig.Run(5000);
    ASSERT_TRUE(rig.finished);
    ExpectCarefulWire(rig);
    for (const auto& sent : SentSince(rig, 0)) EXPECT_LE(sent.time_us, rig.stop_us);
    const std::optional<int64_t> closed = NoteTime(rig, "PC side closed the port");
    ASSERT_TRUE(closed);
    EXPECT_LE(*closed - rig.stop_us, 10 * kMs);
  }
}

// A stop while the ECU is in diagnostic mode, idle or inside a test: 8 ms, FF, its echo and
// answer read, and only then the port closes.
TEST(EngineTest, StopInDiagnosticModeLeavesItFirst) {
  const std::tuple<const char*, bool, int64_t> cases[] = {{"idle", false, 300},
                                                          {"in a test's wait", true, 2500}};
  for (const auto& [name, run_test, stop_after_ms] : cases) {
    SCOPED_TRACE(name);
    EngineRig rig(EcuType::k15m);
    ConnectAndWake(rig);
    rig.engine.EnterTests();
    ASSERT_TRUE(rig.line.InDiagnosticMode());
    rig.Plan(rig.clock.NowUs() + stop_after_ms * kMs, UserAction::kStop);
    if (run_test) {
      rig.engine.RunTest(0, QString());
    } else {
      rig.Run(1000);
    }
    ASSERT_TRUE(rig.finished);
    ExpectCarefulWire(rig);
    EXPECT_FALSE(rig.line.InDiagnosticMode());
    const auto sent = SentSince(rig, 0);
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.back().byte, 0xFF);
    const TraceEntry& answer = rig.line.trace().back();
    EXPECT_EQ(answer.dir, Dir::kEcuSent);
    EXPECT_EQ(answer.byte, 0xFF);
    const std::optional<int64_t> closed = NoteTime(rig, "PC side closed the port");
    ASSERT_TRUE(closed);
    EXPECT_GT(*closed, answer.time_us) << "the port closed before the ECU's answer";
    EXPECT_LE(*closed - rig.stop_us, 100 * kMs);
  }
}

// "Disconnect" while the test window holds the port (in the pause after "Tests", or during a
// test): the test stops, the ECU leaves diagnostic mode, then the port closes.
TEST(EngineTest, DisconnectHonoursTheTestWindow) {
  for (const int64_t after_ms : {50, 3000}) {
    SCOPED_TRACE(after_ms);
    EngineRig rig(EcuType::k16m);
    ConnectAndWake(rig);
    QSignalSpy owners(&rig.engine.events(), &EngineEvents::PortOwnerChanged);
    const int64_t now = rig.clock.NowUs();
    rig.Plan(now, UserAction::kOpenTests);
    rig.Plan(now + 1000 * kMs, UserAction::kRunTest, 0);
    rig.Plan(now + after_ms * kMs, UserAction::kDisconnect);
    rig.Run(45000);
    ExpectCarefulWire(rig);
    EXPECT_FALSE(rig.line.InDiagnosticMode());
    EXPECT_FALSE(rig.line.IsOpen());
    EXPECT_EQ(rig.engine.owner(), PortOwner::kSession);
    ASSERT_EQ(owners.count(), 2);  // to the tests and back
    EXPECT_EQ(owners.last().at(0).value<PortOwner>(), PortOwner::kSession);
    EXPECT_LT(*NoteTime(rig, "PC side closed the port") - (now + after_ms * kMs), 2000 * kMs);
  }
}

// An ECU that sends a byte after each answer: "Read all" pauses and flushes before each read,
// so every byte is read.
TEST(EngineTest, ReadAllIsPacedAgainstExtraBytes) {
  for (EcuType type : kAllEcuTypes) {
    SCOPED_TRACE(EcuTypeName(type));
    EngineRig rig(type);
    ConnectAndWake(rig);
    rig.line.InjectFault(sim::FaultKind::kExtraBytes, 1);
    QSignalSpy reads(&rig.engine.events(), &EngineEvents::FaultRead);
    rig.engine.EnterFaultReading();
    rig.engine.ReadFaults(AllFaultBytes());
    ASSERT_EQ(reads.count(), static_cast<int>(kFaultButtons.size()));
    for (const auto& args : reads) EXPECT_FALSE(args.at(1).toString().isEmpty());
  }
}

// The cable pulled during a test's wait: the test says so at its next pass and gives the
// port back; the main window then says the connection was lost.
TEST(EngineTest, LostCableEndsATestAtOnce) {
  EngineRig rig(EcuType::k15m);
  ConnectAndWake(rig);
  QSignalSpy verdicts(&rig.engine.events(), &EngineEvents::Verdict);
  QSignalSpy states(&rig.engine.events(), &EngineEvents::ConnectionChanged);
  rig.engine.EnterTests();
  const int64_t pulled = rig.clock.NowUs() + 2000 * kMs;
  rig.Plan(pulled, UserAction::kPullCable);
  rig.engine.RunTest(0, QString());
  EXPECT_LE(rig.clock.NowUs() - pulled, 1100 * kMs);
  ASSERT_EQ(verdicts.count(), 1);
  EXPECT_EQ(verdicts.last().at(1).value<ServiceVerdict>(), ServiceVerdict::kPortLost);
  EXPECT_EQ(rig.engine.owner(), PortOwner::kSession);
  rig.Run(200);
  ASSERT_FALSE(states.isEmpty());
  EXPECT_EQ(states.last().at(0).value<ConnectionState>(), ConnectionState::kLost);
}

}  // namespace
}  // namespace kline
