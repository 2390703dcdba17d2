#include "sim/simulated_line.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "sim/tests/pc_side.h"

namespace kline::sim {
namespace {

using ::testing::ElementsAre;
using Dir = TraceEntry::Dir;

// A PC with the port open on a simulated ECU, on virtual time.
struct Bench {
  explicit Bench(EcuType type, int ignition_delay_ms = 500)
      : profile(BuiltinProfile(type)), line(clock, profile, ignition_delay_ms), pc(line, clock) {
    pc.port().Open("/dev/simulated");
  }

  // What the session does for the types that need it: let the ISO code come, wake the ECU
  // up with the usual pauses, switch to the working rate.
  void WakeUp() {
    clock.SleepMs(700);
    pc.SendWakeUp();
    pc.port().SetBaudRate(profile.working_baud);
  }

  std::vector<TraceEntry> Entries(Dir dir) const {
    std::vector<TraceEntry> out;
    for (const TraceEntry& entry : line.trace()) {
      if (entry.dir == dir) out.push_back(entry);
    }
    return out;
  }

  bool NoteSays(const std::string& words) const {
    return std::any_of(line.notes().begin(), line.notes().end(), [&](const TraceNote& note) {
      return note.text.find(words) != std::string::npos;
    });
  }

  VirtualClock clock;
  Profile profile;
  SimulatedLine line;
  PcSide pc;
};

TEST(SimulatedLine, IdentificationBytesComeAfterIgnitionAtTheStartRate) {
  const std::tuple<EcuType, Bytes> cases[] = {
      {EcuType::k15m, {0x80, 0x55, 0x0F, 0x5A, 0x03, 0x11, 0x22}},
      {EcuType::k16m, {0x80, 0x55, 0x0F, 0x5A, 0x03, 0x16, 0x41}},
      {EcuType::k15Rc, {}},
      {EcuType::kP8, {}},
  };
  for (const auto& [type, iso_code] : cases) {
    SCOPED_TRACE(std::string(EcuTypeName(type)));
    Bench bench(type);
    bench.clock.SleepMs(499);
    EXPECT_FALSE(bench.pc.port().LastEventWasReceive());
    EXPECT_EQ(bench.pc.port().PendingCount(), 0);
    EXPECT_EQ(bench.pc.ReadAfter(1000), iso_code);
    EXPECT_EQ(bench.line.LastEventWasReceive(), !iso_code.empty());
    const std::vector<TraceEntry> sent = bench.Entries(Dir::kEcuSent);
    for (size_t i = 0; i < sent.size(); ++i) {
      EXPECT_EQ(sent[i].time_us, 550000 + static_cast<int64_t>(i) * 8333);
      EXPECT_EQ(sent[i].baud, 1200);
      EXPECT_FALSE(sent[i].garbled);
    }
  }
}

// The gaps' tolerance is the ECU model's test; here, what the line does with a wrong wake-up.
TEST(SimulatedLine, WrongWakeUpIsIgnoredUntilARightOneComes) {
  // In the wrong order, and with a wrong byte.
  for (const std::array<uint8_t, 3>& bytes :
       {std::array<uint8_t, 3>{0x0F, 0xCC, 0xAA}, std::array<uint8_t, 3>{0x0F, 0xAA, 0xCD}}) {
    SCOPED_TRACE(static_cast<int>(bytes[1]));
    Bench bench(EcuType::k15m);
    bench.clock.SleepMs(700);
    bench.pc.SendWakeUp(bytes);
    EXPECT_FALSE(bench.line.InWorkingMode());
    EXPECT_TRUE(bench.NoteSays("wake-up refused"));
    EXPECT_THAT(bench.pc.Ask(0x17), ElementsAre(0x17));  // echo only, at 1200
    bench.pc.port().SetBaudRate(7812);
    EXPECT_THAT(bench.pc.Ask(0x17), ElementsAre(0x17));
    bench.pc.port().SetBaudRate(1200);
    bench.pc.SendWakeUp({0x0F, 0xAA, 0xCC}, 80, 200);
    EXPECT_TRUE(bench.line.InWorkingMode());
  }
}

// Until the PC switches too, each side hears the other's bytes garbled.
TEST(SimulatedLine, RatesThatDifferGarbleBothWays) {
  Bench bench(EcuType::k15m);
  bench.clock.SleepMs(700);
  bench.pc.SendWakeUp();
  EXPECT_TRUE(bench.NoteSays("wake-up accepted"));
  EXPECT_THAT(bench.pc.Ask(0x17), ElementsAre(0x17));
  EXPECT_TRUE(bench.Entries(Dir::kPcSent).back().garbled);
  bench.pc.port().SetBaudRate(7812);
  EXPECT_THAT(bench.pc.Ask(0x17), ElementsAre(0x17, 'M'));
  EXPECT_FALSE(bench.Entries(Dir::kPcSent).back().garbled);

  Bench early(EcuType::k15m);
  early.pc.port().SetBaudRate(7812);
  const Bytes heard = early.pc.ReadAfter(1000);
  EXPECT_EQ(heard.size(), 7u);
  EXPECT_NE(heard, early.profile.iso_code);
  for (const TraceEntry& entry : early.Entries(Dir::kEcuSent)) EXPECT_TRUE(entry.garbled);
}

TEST(SimulatedLine, InjectedFaultsShowInWhatThePcReads) {
  const uint8_t m = 'M';
  const std::tuple<FaultKind, int, std::vector<Bytes>> cases[] = {
      {FaultKind::kSilent, 0, {{0x17}, {0x17}, {0x17}}},
      {FaultKind::kNoEcho, 0, {{m}, {m}, {m}}},
      {FaultKind::kStrayByte, 0x42, {{0x42, 0x17, m}, {0x42, 0x17, m}, {0x42, 0x17, m}}},
      {FaultKind::kDropAnswer, 2, {{0x17, m}, {0x17}, {0x17, m}}},
      {FaultKind::kExtraBytes, 2, {{0x17, m, 0, 0}, {0x17, m, 0, 0}, {0x17, m, 0, 0}}},
      {FaultKind::kGarbage, 0, {{0x17, m ^ 0xA5}, {0x17, m ^ 0xA5}, {0x17, m ^ 0xA5}}},
      {FaultKind::kIgnitionOff, 0, {{0x17}, {0x17}, {0x17}}},
  };
  for (const auto& [kind, arg, replies] : cases) {
    SCOPED_TRACE(std::string(FaultName(kind)));
    Bench bench(EcuType::k15m);
    bench.WakeUp();
    bench.line.InjectFault(kind, arg);
    for (const Bytes& expected : replies) {
      bench.pc.port().Flush();
      bench.pc.port().WriteByte(0x17);
      EXPECT_EQ(bench.pc.ReadAfter(100), expected);
    }
    bench.line.ClearFaults();
    const Bytes after = bench.pc.Ask(0x17);
    if (kind == FaultKind::kIgnitionOff) {
      EXPECT_THAT(after, ElementsAre(0x17));
    } else {
      EXPECT_THAT(after, ElementsAre(0x17, m));
    }
  }
}

}  // namespace
}  // namespace kline::sim
