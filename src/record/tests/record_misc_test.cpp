#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstring>
#include <optional>
#include <vector>

#include "link/trace_reader.h"
#include "record/fault_report.h"
#include "record/line_history.h"
#include "record/line_log.h"
#include "record/poll_rate.h"

namespace kline {
namespace {

struct Burst {
  int steps;
  int64_t step_us;
  int requests;
};

TEST(PollRateTest, MeasuresTheLastWindowOfSteps) {
  struct Case {
    const char* name;
    std::vector<Burst> bursts;
    double cycles;
    double requests;
  };
  const Case cases[] = {
      {"nothing yet", {}, 0, 0},
      {"one step", {{1, 50'000, 9}}, 0, 0},
      {"steady", {{200, 50'000, 9}}, 20, 180},
      {"a short start", {{3, 100'000, 2}}, 10, 20},
      // Only the last five seconds count: the fast start has left the window.
      {"slowed down", {{400, 10'000, 1}, {100, 100'000, 3}}, 10, 30},
      // A new session's clock starts over: its steps alone are measured.
      {"clock restarts", {{50, 10'000, 1}, {0, 0, 0}, {11, 200'000, 4}}, 5, 20},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PollRate rate;
    int64_t now_us = 1'000'000;
    for (const Burst& burst : c.bursts) {
      if (burst.steps == 0) now_us = 0;
      for (int i = 0; i < burst.steps; ++i) {
        now_us += burst.step_us;
        rate.Add(LiveSample{.time_us = now_us, .values = {}, .requests = burst.requests});
      }
    }
    EXPECT_NEAR(rate.CyclesPerSecond(), c.cycles, 1e-9);
    EXPECT_NEAR(rate.RequestsPerSecond(), c.requests, 1e-9);
  }
}

TEST(FaultReportTest, ListsEveryReadWithItsTexts) {
  FaultReport report(QDateTime(QDate(2026, 3, 2), QTime(9, 5)), "P8");
  report.AddIdentification("ecu data    : 0123456789\r\n");
  report.AddRead(kFaultButtons[0], "0C");
  report.AddRead(kFaultButtons[1], "");
  report.AddRead(kFaultButtons[4], "00");
  report.AddRead(kFaultButtons[3], "04");
  const std::string text = report.Text();
  for (std::string_view expected : {
           "2026-03-02T09:05:00",
           "  ecu data    : 0123456789\n",
           "Uniram = the ECU's working memory",
           "Uniram1 (request 0x0F): 0C = 0000 1100, 2 faults\n"
           "  bit 7 [ ] VAE blocked open or closed\n",
           "  bit 3 [x] Water temperature\n  bit 2 [x] Lamba sensor",
           "Uniram2 (request 0x10): No answer from ECU\n",
           "Cuneep1 (request 0x16): 00 = 0000 0000, no fault recorded\n",
           // An every-bit byte: 04 and 0C differ by their marks, not by a count.
           "Unirams (request 0x15): 04 = 0000 0100\n",
           "  bit 3 [ ] ABS not active\n  bit 2 [x] Conditionner active\n",
       }) {
    EXPECT_NE(text.find(expected), std::string::npos) << expected;
  }

  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("report.txt"));
  EXPECT_EQ(report.SaveTo(path), QString());
  QFile saved(path);
  ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
  EXPECT_EQ(saved.readAll().toStdString(), text);
  EXPECT_TRUE(report.SaveTo(dir.filePath(QStringLiteral("no/such/dir.txt")))
                  .startsWith(QStringLiteral("Could not save")));
}

// A save to a device writes to it and reports what the device said; renaming a finished file
// over it, as for an ordinary file, would replace the device itself (as root, /dev/full).
TEST(SaveTest, DevicesAreWrittenToNeverReplaced) {
#ifdef _WIN32
  GTEST_SKIP() << "Linux devices";
#endif
  const struct {
    const char* path;
    bool saved;
  } devices[] = {{"/dev/full", false}, {"/dev/null", true}};
  for (const auto& device : devices) {
    SCOPED_TRACE(device.path);
    QString error;
    LineHistory line(1);
    line.Add({LineEntry{}});
    EXPECT_EQ(line.Save(QString::fromLatin1(device.path), &error), device.saved);
    EXPECT_EQ(error.isEmpty(), device.saved) << error.toStdString();
    EXPECT_FALSE(QFileInfo(QString::fromLatin1(device.path)).isFile());
  }
}

// However long the session, a saved trace holds each connection's opening and the newest
// bytes, says where bytes were left out, and reads back in time order.
TEST(LineHistoryTest, KeepsEachOpeningAndTheNewestBytes) {
  constexpr size_t kRecent = 5;
  const size_t opening = LineHistory::kOpeningEntries;
  struct Case {
    const char* what;
    std::vector<size_t> connections;  // bytes in each
    size_t openings_written;
    std::vector<uint64_t> left_out;
  };
  const Case cases[] = {
      {"short", {10}, 1, {}},
      {"long", {opening + 12}, 1, {7}},
      {"a long one, then a short one", {opening + 12, 3}, 2, {7}},
      {"more connections than openings kept",
       std::vector<size_t>(LineHistory::kOpeningsKept + 1, 2),
       LineHistory::kOpeningsKept,
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    LineHistory history(kRecent);
    for (const size_t bytes : c.connections) {
      std::vector<LineEntry> entries(bytes);
      for (size_t i = 0; i < bytes; ++i)
        entries[i] = {.time_us = static_cast<int64_t>(1000 + i * 10),
                      .baud = 7812,
                      .byte = static_cast<uint8_t>(i),
                      .dir = LineDir::kSent,
                      .label = {}};
      history.Add(entries);
    }
    std::string error;
    const std::optional<TraceFile> trace =
        ParseTrace(std::string(kTraceCsvHeader) + "\n" + history.CsvRows(), &error);
    ASSERT_TRUE(trace) << error;
    std::vector<uint64_t> left_out;
    size_t openings = 0;
    for (const auto& row : trace->notes) {
      if (row.note.text == kTraceConnectionNote) ++openings;
      if (row.note.text.starts_with(kTraceLeftOutNote)) {
        left_out.push_back(std::stoull(row.note.text.substr(std::strlen(kTraceLeftOutNote))));
      }
    }
    EXPECT_EQ(openings, c.openings_written);
    EXPECT_EQ(left_out, c.left_out);
    // The newest byte is always there.
    EXPECT_EQ(trace->rows.back().entry.byte, static_cast<uint8_t>(c.connections.back() - 1));
  }
}

}  // namespace
}  // namespace kline
