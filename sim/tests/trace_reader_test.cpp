// The trace reader against files anyone may hand it: each fault refused with its line.
#include "sim/trace_reader.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace kline::sim {
namespace {

constexpr char kHead[] = "time_us,dir,byte,baud,garbled,note\n";

TEST(TraceReader, RefusesHostileInputNamingTheLine) {
  struct Case {
    std::string text;
    std::string error;  // the start of the refusal
  };
  const Case cases[] = {
      {"", "empty"},
      {"time,dir\n", "line 1: not a line trace"},
      {std::string(kHead) + "10,pc,01,1200,0\n", "line 2: truncated: 5 fields"},
      {std::string(kHead) + "10,pc,01", "line 2: truncated: 3 fields"},
      {std::string(kHead) + "20,pc,01,1200,0,\n10,echo,01,1200,0,\n",
       "line 3: time 10 us is earlier than the 20 us"},
      {std::string(kHead) + "10,PC,01,1200,0,\n", "line 2: unknown direction \"PC\""},
      {std::string(kHead) + "10,pc,01,0,0,\n", "line 2: rate \"0\" is not"},
      {std::string(kHead) + "10,pc,01,99999999,0,\n", "line 2: rate \"99999999\" is not"},
      {std::string(kHead) + "10,pc,01,-1200,0,\n", "line 2: rate \"-1200\""},
      {std::string(kHead) + "-5,pc,01,1200,0,\n", "line 2: time \"-5\" is not"},
      {std::string(kHead) + "1e3,pc,01,1200,0,\n", "line 2: time \"1e3\""},
      {std::string(kHead) + "99999999999999999999,pc,01,1200,0,\n", "line 2: time"},
      {std::string(kHead) + "10,pc,1G,1200,0,\n", "line 2: byte \"1G\""},
      {std::string(kHead) + "10,pc,100,1200,0,\n", "line 2: byte \"100\""},
      {std::string(kHead) + "10,pc,,1200,0,\n", "line 2: byte \"\""},
      {std::string(kHead) + "10,pc,01,1200,2,\n", "line 2: garbled \"2\""},
      {std::string(kHead) + "10,ecu,01,7812,0,\"open\n", "line 2: the note's quotes"},
      {std::string(kHead) + "\n\n10,pc,01,1200,0," + std::string(2000, 'x'),
       "line 4: longer than 1000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 80));
    std::string error;
    EXPECT_FALSE(ParseTrace(c.text, &error));
    EXPECT_EQ(error.substr(0, c.error.size()), c.error);
  }
}

TEST(TraceReader, ReadsTheLineMonitorsQuotedLabels) {
  // It quotes labels with commas, writes no notes and stamps ECU bytes on arrival.
  std::string error;
  const auto monitor = ParseTrace(std::string("\xEF\xBB\xBF") + kHead +
                                      "0,pc,01,7812,0,\"01 engine speed, first byte\"\r\n"
                                      "1500,echo,01,7812,0,\"say \"\"hi\"\"\"\r\n"
                                      "4000,ecu,2A,7812,0,\r\n",
                                  &error);
  ASSERT_TRUE(monitor) << error;
  ASSERT_EQ(monitor->rows.size(), 3u);
  EXPECT_EQ(monitor->rows[2].entry, (TraceEntry{4000, TraceEntry::Dir::kEcuSent, 0x2A, 7812}));
  EXPECT_EQ(monitor->rows[2].line, 4u);
  EXPECT_FALSE(monitor->ecu_times_at_start || monitor->type);
}

TEST(TraceReader, RefusesHugeFilesWithoutReadingThemWhole) {
  const std::string path = testing::TempDir() + "huge_trace.csv";
  std::FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  const std::string row = "10,pc,01,1200,0,\n";
  std::string block = kHead;
  while (block.size() < (size_t{1} << 20)) block += row;
  for (size_t written = 0; written <= kMaxTraceBytes; written += block.size()) {
    std::fwrite(block.data(), 1, block.size(), file);
  }
  std::fclose(file);
  std::string error;
  EXPECT_FALSE(LoadTrace(path, &error));
  EXPECT_NE(error.find("larger than 64 MB"), std::string::npos) << error;
  EXPECT_FALSE(LoadTrace(path + ".missing", &error));
  EXPECT_NE(error.find("No such file"), std::string::npos) << error;
  std::remove(path.c_str());
}

}  // namespace
}  // namespace kline::sim
