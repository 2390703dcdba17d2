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

// Words split at blanks as a shell would, with '' for an empty word and _ for a quoted blank.
ParsedArguments Parse(const char* typed) {
  QStringList words = QString::fromUtf8(typed).split(u' ', Qt::SkipEmptyParts);
  for (QString& word : words)
    word = word == QStringLiteral("''") ? QString() : word.replace(u'_', u' ');
  return ParseArguments(QStringList{QStringLiteral("kline-diag-cli")} + words);
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
      {"--port 1 --type 15m live --count 99999999999", kExitUsage, "from 1 to 10000000"},
      {"--port 1 --type 15m live --count 10000001", kExitUsage, "from 1 to 10000000"},
      {"--port 1 --type 15m live --duration 86400", kExitDone, ""},
      {"--port 1 --type 15m live --duration inf", kExitUsage, "up to 86400"},
      {"--port 1 --type 15m live --duration nan", kExitUsage, "up to 86400"},
      {"--port 1 --type 15m monitor --duration 2147484", kExitUsage, "up to 86400"},
      // Options as people type them: global options after the command, any case, the test
      // names the tool prints.
      {"info --port 1 --type 15m", kExitDone, ""},
      {"--port 1 live --type 15RC --count 2", kExitDone, ""},
      {"faults --simulate=p8", kExitDone, ""},
      {"--port 1 --type 15m test Injector1", kExitDone, ""},
      {"--port 1 --type 15m test Injector_2", kExitDone, ""},
      {"--port 1 --type 15m test CLEAR_DTC --yes", kExitDone, ""},
      {"--port 1 --type 15m test Injector3", kExitUsage, "unknown test \"Injector3\""},
      {"trace a.csv --port 1", kExitUsage, "takes no --port"},
      {"info --simulate --port 1", kExitUsage, "exclude each other"},
      {"--simulate=P8 --type 16m info", kExitUsage, "--simulate=P8 and --type 16m name different"},
      {"--simulate=P8 --type p8 info", kExitDone, ""},
      {"--simulate= info", kExitUsage, "--simulate= needs a TYPE"},
      {"--port 1 --type 15m info --type 16m", kExitUsage, "--type is given twice"},
      {"--port 1 --type 15m live --csv ''", kExitUsage, "--csv needs a value"},
      {"--port '' --type 15m info", kExitUsage, "--port needs a value"},
      {"--replay '' info", kExitUsage, "--replay needs a value"},
      {"--port 1 --type 15m report ''", kExitUsage, "report takes one FILE"},
      {"--port 1 --type 15m test --code _85", kExitUsage, "one or two hexadecimal digits"},
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
  // What the loosely typed lines ask for.
  EXPECT_EQ(Parse("info --type p8 --port 1").command->type, EcuType::kP8);
  EXPECT_EQ(Parse("--port 1 --type 15m test Injector1").command->test_index, 1);
  EXPECT_EQ(Parse("--port 1 --type 15m test CLEAR_DTC --yes").command->test_index, 6);
}

}  // namespace
}  // namespace kline::cli
