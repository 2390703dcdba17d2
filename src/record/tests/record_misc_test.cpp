#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <vector>

#include "record/fault_report.h"
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
    EXPECT_EQ(SaveLineCsv(QString::fromLatin1(device.path), {LineEntry{}}, &error), device.saved);
    EXPECT_EQ(error.isEmpty(), device.saved) << error.toStdString();
    EXPECT_FALSE(QFileInfo(QString::fromLatin1(device.path)).isFile());
  }
}

}  // namespace
}  // namespace kline
