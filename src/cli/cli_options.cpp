#include "cli/cli_options.h"

#include <QCommandLineParser>
#include <limits>
#include <string_view>

#include "engine/target_options.h"
#include "engine/text.h"
#include "record/channel_columns.h"
#include "service/actuator_tests.h"

namespace kline::cli {

namespace {

constexpr char kProgram[] = "kline-diag-cli";
constexpr int kCustomTestIndex = 7;

struct VerbName {
  std::string_view name;
  Verb verb;
  std::string_view summary;
};

constexpr VerbName kVerbs[] = {
    {"info", Verb::kInfo, "Wake the ECU and print its ISO code, ECU data and calibration."},
    {"live", Verb::kLive, "Print the live values, one line (or CSV row) per sample."},
    {"faults", Verb::kFaults, "Read the ten fault-memory bytes and print what they mean."},
    {"test", Verb::kTest, "Run one actuator test and print its progress and verdict."},
    {"check-cable", Verb::kCheckCable, "Check that the interface echoes what is sent."},
    {"monitor", Verb::kMonitor, "Print every byte on the line with its time and rate."},
    {"trace", Verb::kTrace,
     "Read a saved trace or support report: each byte with its gap, and the gaps that break "
     "the program's pauses and bounds."},
    {"report", Verb::kReport,
     "Connect, poll live data for a while and write a support report to send with a question."},
};

// Short names for the shell; the captions of the test window work too.
constexpr std::string_view kTestNames[] = {"fuel-pump", "injector-1", "injector-2", "rev-counter",
                                           "coil-1",    "coil-2",     "clear-dtc"};

ParsedArguments Mistake(const QString& text) {
  return {std::nullopt, kExitUsage,
          QStringLiteral("%1: %2\nTry \"%1 --help\".\n").arg(QLatin1String(kProgram), text)};
}

ParsedArguments Text(const QString& text) { return {std::nullopt, kExitDone, text}; }

std::optional<int> TestIndex(const QString& name) {
  for (size_t i = 0; i < std::size(kTestNames); ++i) {
    if (name.compare(Q(kTestNames[i]), Qt::CaseInsensitive) == 0 ||
        name.compare(Q(kActuatorTests[i].caption), Qt::CaseInsensitive) == 0) {
      return static_cast<int>(i);
    }
  }
  return std::nullopt;
}

// A channel by its CSV column ("throttle_deg") or the word before the unit ("throttle").
std::optional<int> ChannelIndex(const QString& name) {
  for (size_t i = 0; i < kChannelColumns.size(); ++i) {
    const QString column = Q(kChannelColumns[i].csv_name);
    if (name == column || name == column.section(QLatin1Char('_'), 0, 0)) {
      return static_cast<int>(i);
    }
  }
  return std::nullopt;
}

QString GlobalHelp(const QCommandLineParser& parser) {
  QString help = parser.helpText();
  help += QStringLiteral("\nCommands:\n");
  for (const VerbName& verb : kVerbs) {
    help += QStringLiteral("  %1%2\n").arg(Q(verb.name), -14).arg(Q(verb.summary));
  }
  help += QStringLiteral(
              "\n\"%1 COMMAND --help\" describes a command's options.\n"
              "Exit status: 0 done, 1 output not written, 2 wrong usage, 3 the port did not open,\n"
              "4 the ECU did not answer, 5 interrupted.\n")
              .arg(QLatin1String(kProgram));
  return help;
}

// The command's own options, after its name.
std::optional<ParsedArguments> ParseVerbOptions(const VerbName& verb, const QStringList& rest,
                                                bool help_asked, Command& command) {
  QCommandLineParser parser;
  parser.setApplicationDescription(Q(verb.summary));
  const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                QStringLiteral("Print this help and exit."));
  parser.addOption(help);
  const QCommandLineOption channels(
      QStringLiteral("channels"),
      QStringLiteral("The channels to poll and print, separated by commas: rpm, injection, "
                     "advance, pressure, air, water, throttle, battery, trimmer."),
      QStringLiteral("LIST"));
  const QCommandLineOption count(QStringLiteral("count"), QStringLiteral("Stop after N samples."),
                                 QStringLiteral("N"));
  const QCommandLineOption duration(QStringLiteral("duration"),
                                    QStringLiteral("Stop after S seconds."), QStringLiteral("S"));
  const QCommandLineOption csv(
      QStringLiteral("csv"),
      QStringLiteral("Write CSV in the recorder's format to FILE (\"-\": standard output)."),
      QStringLiteral("FILE"));
  const QCommandLineOption json(QStringLiteral("json"),
                                QStringLiteral("Print one JSON document instead of text."));
  const QCommandLineOption yes(
      QStringLiteral("yes"),
      QStringLiteral("Confirm clear-dtc, which erases the stored fault codes for good."));
  const QCommandLineOption code(
      QStringLiteral("code"),
      QStringLiteral("Run the custom test with this request byte in hexadecimal."),
      QStringLiteral("HH"));
  switch (verb.verb) {
    case Verb::kLive:
      parser.addOptions({channels, count, duration, csv});
      break;
    case Verb::kFaults:
      parser.addOption(json);
      break;
    case Verb::kTest:
      parser.addOptions({code, yes});
      parser.addPositionalArgument(
          QStringLiteral("NAME"),
          QStringLiteral("fuel-pump, injector-1, injector-2, rev-counter, coil-1, coil-2, "
                         "clear-dtc, or a caption of the test window."),
          QStringLiteral("[NAME]"));
      break;
    case Verb::kMonitor:
      parser.addOption(duration);
      break;
    case Verb::kTrace:
      parser.addOption(json);
      parser.addPositionalArgument(QStringLiteral("FILE"),
                                   QStringLiteral("A trace (.csv) or a support report (.tar)."));
      break;
    case Verb::kReport:
      parser.addOption(duration);
      parser.addPositionalArgument(QStringLiteral("FILE"),
                                   QStringLiteral("Where to write the report (.tar)."));
      break;
    case Verb::kInfo:
    case Verb::kCheckCable:
      break;
  }
  if (!parser.parse(QStringList{Q(verb.name)} + rest)) return Mistake(parser.errorText());
  if (help_asked || parser.isSet(help)) {
    return Text(parser.helpText().replace(QStringLiteral("[options]"),
                                          Q(verb.name) + QStringLiteral(" [options]")));
  }
  // What was given, without asking the parser about options this command lacks.
  const QStringList found = parser.optionNames();
  const auto given = [&](const QCommandLineOption& option) {
    return found.contains(option.names().constFirst());
  };
  if (given(count)) {
    bool ok = false;
    command.count = parser.value(count).toInt(&ok);
    if (!ok || *command.count < 1) {
      return Mistake(QStringLiteral("--count takes a whole number from 1 to %1")
                         .arg(std::numeric_limits<int>::max()));
    }
  }
  if (given(duration)) {
    bool ok = false;
    command.duration_s = parser.value(duration).toDouble(&ok);
    if (!ok || !(*command.duration_s > 0)) {
      return Mistake(QStringLiteral("--duration takes a number of seconds above 0"));
    }
  }
  if (command.count && command.duration_s) {
    return Mistake(QStringLiteral("--count and --duration cannot be used together"));
  }
  if (given(channels)) {
    command.channels_asked = true;
    command.channels.fill(false);
    for (const QString& name : parser.value(channels).split(QLatin1Char(','))) {
      const std::optional<int> channel = ChannelIndex(name.trimmed());
      if (!channel) return Mistake(QStringLiteral("unknown channel \"%1\"").arg(name));
      command.channels[static_cast<size_t>(*channel)] = true;
    }
  }
  if (given(csv)) command.csv_path = parser.value(csv);
  command.json = given(json);
  const bool takes_file = verb.verb == Verb::kTrace || verb.verb == Verb::kReport;
  if (takes_file) {
    if (parser.positionalArguments().size() != 1) {
      return Mistake(QStringLiteral("%1 takes one FILE").arg(Q(verb.name)));
    }
    command.file = parser.positionalArguments().constFirst();
  } else if (verb.verb != Verb::kTest && !parser.positionalArguments().isEmpty()) {
    return Mistake(QStringLiteral("%1 takes no argument \"%2\"")
                       .arg(Q(verb.name), parser.positionalArguments().constFirst()));
  }
  if (verb.verb == Verb::kTest) {
    const QStringList names = parser.positionalArguments();
    if (given(code) == !names.isEmpty() || names.size() > 1) {
      return Mistake(QStringLiteral("test takes one test NAME or --code HH"));
    }
    if (given(code)) {
      // Refused here, before the ECU is even woken: a typo must never reach it.
      const std::string_view refusal = CustomCodeRefusal(parser.value(code).toStdString());
      if (!refusal.empty()) return Mistake(Q(refusal));
      command.test_index = kCustomTestIndex;
      command.custom_code = parser.value(code);
    } else {
      const std::optional<int> index = TestIndex(names.front());
      if (!index) return Mistake(QStringLiteral("unknown test \"%1\"").arg(names.front()));
      if (*index == kClearFaultsTest && !given(yes)) {
        return Mistake(QStringLiteral("clear-dtc needs --yes: ") +
                       Q(kClearFaultsWarning)
                           .replace(QStringLiteral("Diag, \"Read all\", \"Save report...\""),
                                    QStringLiteral("kline-diag-cli faults")));
      }
      command.test_index = *index;
    }
  }
  return std::nullopt;
}

}  // namespace

ParsedArguments ParseArguments(const QStringList& arguments) {
  QCommandLineParser parser;
  parser.setApplicationDescription(
      QStringLiteral("Reads and tests a 15m, 15Rc, 16m or P8 engine control unit over a K-line "
                     "serial cable, without a window."));
  parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
  const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                QStringLiteral("Print this help, or the command's, and exit."));
  const QCommandLineOption version(QStringLiteral("version"),
                                   QStringLiteral("Print the version and exit."));
  TargetOptions target_options(
      QStringLiteral("--simulate[=TYPE]: talk to a simulated ECU of that type (default: --type, "
                     "else 15m) on a pseudo-terminal."));
  parser.addOptions({help, version});
  target_options.AddTo(parser);
  parser.addPositionalArgument(QStringLiteral("command"),
                               QStringLiteral("What to do (see Commands)."),
                               QStringLiteral("command [options]"));

  if (!parser.parse(target_options.Prepare(arguments))) return Mistake(parser.errorText());
  if (parser.isSet(version)) {
    return Text(
        QStringLiteral("%1 %2\n").arg(QLatin1String(kProgram), QStringLiteral(KLINE_VERSION)));
  }
  QStringList rest = parser.positionalArguments();
  if (rest.isEmpty()) {
    if (parser.isSet(help)) return Text(GlobalHelp(parser));
    return Mistake(QStringLiteral("a command is needed"));
  }
  const QString name = rest.takeFirst();
  const VerbName* verb = nullptr;
  for (const VerbName& candidate : kVerbs) {
    if (name == Q(candidate.name)) verb = &candidate;
  }
  if (!verb) return Mistake(QStringLiteral("unknown command \"%1\"").arg(name));

  Command command;
  command.verb = verb->verb;
  if (std::optional<ParsedArguments> stop =
          ParseVerbOptions(*verb, rest, parser.isSet(help), command)) {
    return *stop;
  }

  QString mistake;
  const std::optional<TargetChoice> target = target_options.Read(parser, &mistake);
  if (!target) return Mistake(mistake);
  if (command.verb == Verb::kTrace) {
    // Only the file: nothing is connected.
    if (target->port || target->simulate || target->replay || target->type) {
      return Mistake(
          QStringLiteral("trace reads its FILE and takes no --port, --type, "
                         "--simulate or --replay"));
    }
    return {command, kExitDone, {}};
  }
  if (command.verb == Verb::kReport && !command.duration_s) command.duration_s = 10;
  command.type = target->simulated_type ? target->simulated_type : target->type;
  command.simulate = target->simulate;
  command.replay_path = target->replay.value_or(QString());
  command.port_field = target->port.value_or(QString());
  if (command.simulate) {
    if (target->port) return Mistake(QStringLiteral("--port and --simulate exclude each other"));
    command.type = command.type.value_or(EcuType::k15m);
  } else if (target->replay) {
    if (target->port) return Mistake(QStringLiteral("--port and --replay exclude each other"));
    if (command.verb == Verb::kCheckCable) {
      return Mistake(QStringLiteral("check-cable needs a real port: --port"));
    }
  } else if (!target->port) {
    return Mistake(QStringLiteral("--port (or --simulate, or --replay) is needed"));
  } else if (!command.type && command.verb != Verb::kCheckCable) {
    return Mistake(QStringLiteral("--type is needed"));
  }
  return {command, kExitDone, {}};
}

}  // namespace kline::cli
