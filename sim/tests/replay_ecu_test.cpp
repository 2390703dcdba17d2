// The replaying ECU on virtual time: answers at the recorded delays and rates, departures
// from the recording said in words, and the loop over live data.
#include "sim/replay_ecu.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "sim/simulated_line.h"

namespace kline::sim {
namespace {

// Key-on, an unasked byte 100 ms after the port opened, then 01 answered 11 after 12 ms,
// 17 unanswered, 01 answered with a garbled 22, 01 answered 33 at 7812 baud.
constexpr char kRecording[] =
    "time_us,dir,byte,baud,garbled,note\n"
    "0,note,,,,ECU type 16m\n"
    "1000000,note,,,,PC side opened the port\n"
    "1100000,ecu,80,1200,0,\n"
    "1200000,pc,01,1200,0,\n"
    "1208333,echo,01,1200,0,\n"
    "1212000,ecu,11,1200,0,\n"
    "1300000,pc,17,1200,0,\n"
    "1400000,pc,01,1200,0,\n"
    "1412000,ecu,22,1200,1,\n"
    "1500000,pc,01,7812,0,\n"
    "1505000,ecu,33,7812,0,\n"
    "1600000,note,,,,PC side closed the port\n"
    "1700000,pc,01,1200,0,\n";

struct Rig {
  explicit Rig(bool loop) {
    std::string error;
    const auto trace = ParseTrace(kRecording, &error);
    auto ecu =
        ReplayEcu::FromTrace(*trace, *trace->type, {.loop = loop, .report = nullptr}, &error);
    line = std::make_unique<SimulatedLine>(clock, std::move(ecu), 0);
    line->Open("replay", LineSettings{});
  }
  // Sends `request` at `baud` and gives the ECU's bytes (echo left out) with their delays
  // from the request, within 50 ms.
  std::vector<TraceEntry> Ask(uint8_t request, int32_t baud) {
    LineSettings settings;
    settings.baud = baud;
    line->WriteLineSettings(settings);
    const int64_t start = clock.NowUs();
    const size_t seen = line->trace().size();
    line->WriteByte(request);
    clock.SleepMs(50);
    std::vector<TraceEntry> answers;
    for (size_t i = seen; i < line->trace().size(); ++i) {
      TraceEntry entry = line->trace()[i];
      if (entry.dir != TraceEntry::Dir::kEcuSent) continue;
      entry.time_us -= start;
      answers.push_back(entry);
    }
    return answers;
  }
  bool Noted(const std::string& words) const {
    return std::any_of(line->notes().begin(), line->notes().end(), [&](const TraceNote& note) {
      return note.text.find(words) != std::string::npos;
    });
  }

  VirtualClock clock;
  std::unique_ptr<SimulatedLine> line;
};

using Dir = TraceEntry::Dir;

TEST(ReplayEcu, PlaysTheRecordedConversation) {
  Rig rig(false);
  rig.clock.SleepMs(150);
  ASSERT_FALSE(rig.line->trace().empty());
  EXPECT_EQ(rig.line->trace()[0], (TraceEntry{100000, Dir::kEcuSent, 0x80, 1200, false}));
  rig.line->ReadAll();

  EXPECT_EQ(rig.Ask(0x01, 1200), (std::vector<TraceEntry>{{12000, Dir::kEcuSent, 0x11, 1200}}));
  EXPECT_TRUE(rig.Ask(0x17, 1200).empty());  // missing in the recording: missing here
  EXPECT_EQ(rig.Ask(0x01, 1200),
            (std::vector<TraceEntry>{{12000, Dir::kEcuSent, 0x22, 1200, true}}));
  EXPECT_EQ(rig.Ask(0x01, 7812), (std::vector<TraceEntry>{{5000, Dir::kEcuSent, 0x33, 7812}}));
  EXPECT_FALSE(rig.Noted("the PC sent"));

  // The recording ends where its connection closed.
  EXPECT_TRUE(rig.Ask(0x01, 7812).empty());
  EXPECT_TRUE(rig.Noted("the PC sent 01 at 7812 baud after the recording ended"));
}

TEST(ReplayEcu, AnswersADepartureFromTheNextRecordedAnswer) {
  struct Case {
    bool loop;
    std::vector<std::pair<uint8_t, int32_t>> before;
    uint8_t request;
    int32_t baud;
    std::vector<uint8_t> answer;
    std::string note;
  };
  const Case cases[] = {
      // Skips 01 and 17: answered as the second 01 was, and said.
      {false, {}, 0x01, 7812, {0x33}, "the recording has 01 at 1200 baud (line 5): answered"},
      {false, {}, 0x05, 1200, {}, "no answer, the recording has no such request later"},
      {false, {{0x01, 1200}}, 0x01, 1200, {0x22}, "where the recording has 17 at 1200 baud"},
      // Run out: live data again from the first live request.
      {true,
       {{0x01, 1200}, {0x17, 1200}, {0x01, 1200}, {0x01, 7812}},
       0x01,
       1200,
       {0x11},
       "ran out: live data again from line 5"},
      {true,
       {{0x01, 1200}, {0x17, 1200}, {0x01, 1200}, {0x01, 7812}},
       0x01,
       7812,
       {0x33},
       "answered as at line 11"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.note);
    Rig rig(c.loop);
    rig.clock.SleepMs(150);
    for (const auto& [request, baud] : c.before) rig.Ask(request, baud);
    std::vector<uint8_t> answer;
    for (const TraceEntry& entry : rig.Ask(c.request, c.baud)) answer.push_back(entry.byte);
    EXPECT_EQ(answer, c.answer);
    EXPECT_TRUE(rig.Noted(c.note));
  }
}

}  // namespace
}  // namespace kline::sim
