// The replaying ECU on virtual time: answers at the recorded delays and rates, departures
// from the recording said in words, and the loop over live data.
#include "sim/replay_ecu.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "sim/simulated_line.h"

namespace kline::sim {
namespace {

// An unasked byte 100 ms after the port opened, then 01 answered 11 after 12 ms, 17
// unanswered, 01 answered with a garbled 22, 01 answered 33 at 7812 baud; the rest is
// another connection.
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

using Dir = TraceEntry::Dir;

TEST(ReplayEcu, AnswersAsRecordedAndSaysWhereThePcDeparts) {
  struct Case {
    bool loop;
    std::string asks;                     // request bytes in hex, ":7812" when not at 1200 baud
    std::vector<TraceEntry> last_answer;  // times from the last request's start bit
    std::string note;                     // empty: no departure
  };
  const Case cases[] = {
      {false, "01", {{12000, Dir::kEcuSent, 0x11, 1200}}, ""},
      {false, "01 17", {}, ""},
      {false, "01 17 01", {{12000, Dir::kEcuSent, 0x22, 1200, true}}, ""},
      {false, "01 17 01 01:7812", {{5000, Dir::kEcuSent, 0x33, 7812}}, ""},
      {false,
       "01:7812",
       {{5000, Dir::kEcuSent, 0x33, 7812}},
       "the PC sent 01 at 7812 baud where the recording has 01 at 1200 baud (line 5): "
       "answered as at line 11"},
      {false, "05", {}, "no answer, the recording has no such request later"},
      {false,
       "01 17 01 01:7812 01:7812",
       {},
       "the PC sent 01 at 7812 baud after the recording ended"},
      {true,
       "01 17 01 01:7812 01",
       {{12000, Dir::kEcuSent, 0x11, 1200}},
       "ran out: live data again from line 5"},
      {true,
       "01 17 01 01:7812 01:7812",
       {{5000, Dir::kEcuSent, 0x33, 7812}},
       "answered as at line 11"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.asks);
    std::string error;
    const auto trace = ParseTrace(kRecording, &error);
    VirtualClock clock;
    SimulatedLine line(clock, ReplayEcu::FromTrace(*trace, *trace->type, {c.loop, {}}, &error), 0);
    line.Open("replay", LineSettings{});
    clock.SleepMs(150);
    EXPECT_EQ(line.trace().front(), (TraceEntry{100000, Dir::kEcuSent, 0x80, 1200}));
    std::vector<TraceEntry> answer;
    std::istringstream asks(c.asks);
    std::string ask;
    while (asks >> ask) {
      LineSettings settings;
      settings.baud = ask.size() > 2 ? std::stoi(ask.substr(3)) : 1200;
      line.WriteLineSettings(settings);
      const int64_t start = clock.NowUs();
      const size_t seen = line.trace().size();
      line.WriteByte(static_cast<uint8_t>(std::stoi(ask.substr(0, 2), nullptr, 16)));
      clock.SleepMs(50);
      answer.clear();
      for (size_t i = seen; i < line.trace().size(); ++i) {
        if (line.trace()[i].dir != Dir::kEcuSent) continue;
        answer.push_back(line.trace()[i]);
        answer.back().time_us -= start;
      }
    }
    EXPECT_EQ(answer, c.last_answer);
    const auto noted = [&](const std::string& words) {
      return std::any_of(line.notes().begin(), line.notes().end(), [&](const TraceNote& note) {
        return note.text.find(words) != std::string::npos;
      });
    };
    EXPECT_TRUE(c.note.empty() ? !noted("the PC sent") : noted(c.note));
  }
}

}  // namespace
}  // namespace kline::sim
