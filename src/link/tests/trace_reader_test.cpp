// The trace reader against files anyone may hand it: each fault refused with its line.
#include "link/trace_reader.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "link/tar_archive.h"
#include "link/trace_gaps.h"

namespace kline {
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
  EXPECT_EQ(monitor->labels[monitor->rows[0].label], "01 engine speed, first byte");
  EXPECT_EQ(monitor->labels[monitor->rows[1].label], "say \"hi\"");
  EXPECT_EQ(monitor->rows[2].label, 0u);
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

// A support report is a tar archive: tar itself must read what we write, and our reader must
// refuse what is damaged rather than read past its end.
TEST(TarArchive, TarReadsItAndTheTraceIsReadFromInside) {
  const std::string trace = std::string(kHead) + "0,pc,01,7812,0,\n";
  const std::string big(1500, 'x');
  const std::string archive = WriteTar({{"README.txt", big}, {kArchivedTraceName, trace}}, 0);
  const std::string path = testing::TempDir() + "report.tar";
  std::FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  std::fwrite(archive.data(), 1, archive.size(), file);
  std::fclose(file);
  // Windows has no tar to ask.
#ifndef _WIN32
  std::string out;
  std::FILE* tar = popen(("tar -xOf " + path + " trace.csv").c_str(), "r");
  ASSERT_NE(tar, nullptr);
  for (int c; (c = std::fgetc(tar)) != EOF;) out += static_cast<char>(c);
  EXPECT_EQ(pclose(tar), 0);
  EXPECT_EQ(out, trace);
#endif
  std::string error;
  const auto read = LoadTrace(path, &error);
  ASSERT_TRUE(read) << error;
  EXPECT_EQ(read->rows.size(), 1u);

  std::string bad_sum = archive;
  bad_sum[0] = 'Q';
  std::string runs_past = archive.substr(0, 512 + 512);
  const struct {
    std::string archive;
    std::string error;
  } damaged[] = {
      {bad_sum, "damaged archive: the header at byte 0"},
      {runs_past, "damaged archive: the member at byte 0 runs past"},
      {WriteTar({{"other.txt", "x"}}, 0), "the archive holds no trace.csv"},
  };
  for (const auto& d : damaged) {
    EXPECT_FALSE(FindTarMember(d.archive, kArchivedTraceName, &error));
    EXPECT_EQ(error.substr(0, d.error.size()), d.error);
  }
  std::remove(path.c_str());
}

TEST(TraceGaps, MarksWhatBreaksTheProgramsPausesAndBounds) {
  using enum GapMark;
  // Times at the PC, as the line monitor stamps them; a byte at 7812 baud takes 1.28 ms.
  struct Case {
    const char* what;
    std::string rows;
    std::vector<GapMark> marks;
  };
  const Case cases[] = {
      {"key-on bytes, then requests that keep their pause",
       "0,ecu,55,1200,0,\n50000,pc,01,7812,0,\n51300,echo,01,7812,0,\n53000,ecu,12,7812,0,\n"
       "61000,pc,02,7812,0,\n",
       {kNone, kNone, kNone, kNone, kNone}},
      {"a request 8 ms after the start of the one before, not after the answer",
       "0,pc,01,7812,0,\n3000,ecu,12,7812,0,\n8000,pc,02,7812,0,\n",
       {kNone, kNone, kEarlyRequest}},
      {"the wake-up: 110 ms between its bytes, 300 ms after the last",
       "0,pc,0F,1200,0,\n100000,pc,AA,1200,0,\n210000,pc,CC,1200,0,\n500000,pc,17,1200,0,\n",
       {kNone, kEarlyRequest, kNone, kEarlyRequest}},
      {"stamps within their precision of the pauses, a simulator's wake-up as seen on a pty",
       "0,pc,0F,1200,0,\n109930,pc,AA,1200,0,\n219100,pc,CC,1200,0,\n519500,pc,17,1200,0,\n"
       "528500,echo,17,1200,0,\n529000,ecu,12,1200,0,\n536200,pc,18,1200,0,\n",
       {kNone, kNone, kNone, kNone, kNone, kNone, kNone}},
      {"answers after the live and the identification bounds",
       "0,pc,01,7812,0,\n2100000,ecu,12,7812,0,\n2200000,pc,17,7812,0,\n"
       "5100000,ecu,12,7812,0,\n",
       {kNone, kLateAnswer, kNone, kNone}},
      {"a second byte after one answer",
       "0,pc,01,7812,0,\n3000,ecu,12,7812,0,\n4000,ecu,34,7812,0,\n",
       {kNone, kNone, kUnasked}},
      {"a test reports on its own until the ECU leaves diagnostic mode",
       "0,pc,0F,1200,0,\n120000,pc,AA,1200,0,\n240000,pc,CC,1200,0,\n"
       "600000,pc,AA,7812,0,\n610000,ecu,AA,7812,0,\n620000,ecu,00,7812,0,\n"
       "640000,pc,FF,7812,0,\n650000,ecu,FF,7812,0,\n660000,ecu,FF,7812,0,\n",
       {kNone, kNone, kNone, kNone, kNone, kNone, kNone, kNone, kUnasked}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string error;
    const auto trace = ParseTrace(kHead + c.rows, &error);
    ASSERT_TRUE(trace) << error;
    const TraceGaps gaps = ReadGaps(*trace);
    EXPECT_EQ(gaps.marks, c.marks);
  }
  std::string error;
  // The gap runs from the end of the byte before, as the marks judge the pauses: the PC's byte
  // ends a byte time (1.28 ms at 7812 baud) after its stamp, the ECU's bytes in the line
  // monitor's file are stamped once they are in.
  EXPECT_EQ(ReadGaps(*ParseTrace(std::string(kHead) + "0,pc,01,7812,0,\n3000,ecu,12,7812,0,\n" +
                                     "4000,ecu,34,7812,0,\n10000,pc,02,7812,0,\n",
                                 &error))
                .gap_us,
            (std::vector<int64_t>{0, 1720, 1000, 6000}));
  const TraceGaps gaps = ReadGaps(*ParseTrace(
      kHead + cases[2].rows + "503000,ecu,12,1200,0,\n" + "520000,ecu,12,1200,0,\n", &error));
  EXPECT_EQ(GapCountsLine(gaps),
            "2 requests sooner than their pause, 0 answers later than their bound, 1 byte while "
            "nothing was asked");
}

}  // namespace
}  // namespace kline
