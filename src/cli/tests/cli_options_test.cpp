// The command lines a user would type, good and bad: what each asks for, or the mistake and
// status the tool answers with before anything touches a port.
#include "cli/cli_options.h"

#include <gtest/gtest.h>

namespace kline::cli {
namespace {

struct Line {
  const char* typed;
  int status;
  const char* says;  // part of the mistake; empty for a good line
};

ParsedArguments Parse(const char* typed) {
  return ParseArguments(QStringList{QStringLiteral("kline-diag-cli")} +
                        QString::fromUtf8(typed).split(u' ', Qt::SkipEmptyParts));
}

TEST(CliOptionsTest, TypedLinesAreTakenOrRefused) {
  const Line lines[] = {
      {"--port 1 --type 15m info", kExitDone, ""},
      {"--simulate=P8 faults --json", kExitDone, ""},
      {"--port /dev/ttyUSB0 --type 16m test --code 8a", kExitDone, ""},
      {"--port 1 --type 16m test --code 0x81", kExitDone, ""},
      {"--port 1 --type 15m test fuel-pump", kExitDone, ""},
      {"--port 1 --type 15m test clear-dtc --yes", kExitDone, ""},
      {"--port 1 --type 15m test clear-dtc", kExitUsage, "clear-dtc needs --yes"},
      {"--port 1 --type 15m live --channels rpm,water --count 5", kExitDone, ""},
      {"--port 1 --type 15m test --code ZZ", kExitUsage, "one or two hexadecimal digits"},
      {"--port 1 --type 15m test --code 8Z", kExitUsage, "one or two hexadecimal digits"},
      {"--port 1 --type 15m test --code 1FF", kExitUsage, "one or two hexadecimal digits"},
      {"--port 1 --type 15m test --code -1", kExitUsage, "one or two hexadecimal digits"},
      {"--port 1 --type 15m test --code AA", kExitUsage, "enters diagnostic mode"},
      {"--port 1 --type 15m test --code FF", kExitUsage, "leaves diagnostic mode"},
      {"--port 1 --type 15m info faults", kExitUsage, "info takes no argument \"faults\""},
      {"--port 1 --type 15m live --count 99999999999", kExitUsage, "from 1 to 2147483647"},
      {"--port 1 --type 15m live --count 0", kExitUsage, "from 1 to"},
      {"--port 1 --type 15x info", kExitUsage, "unknown ECU type"},
      {"--simulate=16x info", kExitUsage, "unknown ECU type \"16x\""},
      {"--port 1 --simulate info", kExitUsage, "exclude each other"},
      {"--type 15m info", kExitUsage, "--port (or --simulate, or --replay) is needed"},
      {"--replay a.csv live --count 2", kExitDone, ""},
      {"--replay a.csv --simulate info", kExitUsage, "--simulate and --replay exclude"},
      {"--replay a.csv --port 1 info", kExitUsage, "--port and --replay exclude"},
      {"--replay a.csv check-cable", kExitUsage, "needs a real port"},
      {"--port 1 --type 15m", kExitUsage, "a command is needed"},
      {"--port 1 --type 15m test", kExitUsage, "one test NAME or --code"},
  };
  for (const Line& line : lines) {
    SCOPED_TRACE(line.typed);
    const ParsedArguments parsed = Parse(line.typed);
    if (line.status == kExitDone) {
      EXPECT_TRUE(parsed.command.has_value()) << parsed.text.toStdString();
      continue;
    }
    EXPECT_FALSE(parsed.command.has_value());
    EXPECT_EQ(parsed.exit_status, line.status);
    EXPECT_TRUE(parsed.text.contains(QString::fromUtf8(line.says))) << parsed.text.toStdString();
  }
}

}  // namespace
}  // namespace kline::cli
