#include "cli/cli_options.h"

#include <QCommandLineParser>
#include <algorithm>
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
  // The statuses this command ends with, for its help; the full list is in the program's.
  std::string_view statuses;
};

constexpr VerbName kVerbs[] = {
    {"info", Verb::kInfo, "Wake the ECU and print its ISO code, ECU data and calibration.",
     "0 all read, 1 the output could not be written, 2 wrong usage, 3 the port did not open or "
     "was lost, 4 the ECU did not answer, 5 interrupted, 8 part of the identification could not "
     "be read (what was read is printed)"},
    {"live", Verb::kLive, "Print the live values, one line (or CSV row) per sample.",
     "0 the count or duration reached, 1 the output could not be written, 2 wrong usage, 3 the "
     "port did not open or was lost, 4 the ECU did not answer, 5 interrupted, 8 part of the "
     "values could not be read (what was read is printed)"},
    {"faults", Verb::kFaults, "Read the ten fault-memory bytes and print what they mean.",
     "0 all ten read, 1 the output could not be written, 2 wrong usage, 3 the port did not open "
     "or was lost, 4 the ECU did not answer, 5 interrupted"},
    {"test", Verb::kTest, "Run one actuator test and print its progress and verdict.",
     "0 the test finished, 1 the output could not be written, 2 wrong usage or a code refused, 3 "
     "the port did not open or was lost, 4 the ECU did not answer or did not enter diagnostic "
     "mode, 5 interrupted (the ECU is taken out of diagnostic mode first), 6 the ECU reported "
     "the test as failed, 7 the test ended without a verdict"},
    {"check-cable", Verb::kCheckCable, "Check that the interface echoes what is sent.",
     "0 the interface echoes, 1 the output could not be written, 2 wrong usage, 3 the port did "
     "not open or was lost, 9 the interface did not echo"},
    {"monitor", Verb::kMonitor,
     "Wake the ECU and poll it as live does, printing each byte on the line as it goes: its "
     "time, direction, rate and what it asks for.",
     "0 the duration reached, 1 the output could not be written, 2 wrong usage, 3 the port did "
     "not open or was lost, 5 interrupted"},
    {"trace", Verb::kTrace,
     "Read a saved trace or support report: each byte with its gap, and the gaps that break "
     "the program's pauses and bounds.",
     "0 read, 1 the output could not be written, 2 wrong usage or a file that is no trace"},
    {"report", Verb::kReport,
     "Connect, poll live data for a while and write a support report to send with a question.",
     "0 done, 1 the report could not be written, 2 wrong usage, 3 the port did not open or was "
     "lost, 4 the ECU did not answer, 5 interrupted; the report is written whatever the end"},
};

// Short names for the shell; the captions of the test window and the names its log prints
// ("Injector1") work too.
constexpr std::string_view kTestNames[] = {"fuel-pump", "injector-1", "injector-2", "rev-counter",
                                           "coil-1",    "coil-2",     "clear-dtc"};

// The largest --duration: a day of polling, far beyond a ride or a bench session, and well
// inside what a timer can count in milliseconds.
constexpr double kMaxDurationS = 86400;
// The largest --count: more samples than a day of polling at the fastest rate gives.
constexpr int kMaxCount = 10000000;

ParsedArguments Mistake(const QString& text) {
  return {std::nullopt, kExitUsage,
          QStringLiteral("%1: %2\nTry \"%1 --help\".\n").arg(QLatin1String(kProgram), text)};
}

ParsedArguments Text(const QString& text) { return {std::nullopt, kExitDone, text}; }

// `text` in lines of at most 80 columns, the first going on from column `indent` and the
// others starting there.
QString Wrapped(const QString& text, int indent) {
  constexpr qsizetype kWidth = 80;
  QString wrapped;
  qsizetype column = indent;
  for (const QString& word : text.split(u' ', Qt::SkipEmptyParts)) {
    if (column > indent && column + 1 + word.size() > kWidth) {
      wrapped += u'\n' + QString(indent, u' ');
      column = indent;
    } else if (column > indent) {
      wrapped += u' ';
      ++column;
    }
    wrapped += word;
    column += word.size();
  }
  return wrapped;
}

// A test name as people write it: case, blanks, hyphens and underscores do not count, so
// "injector-1", "Injector 1" and "Injector1" are one name.
QString TestNameKey(const QString& name) {
  QString key;
  for (const QChar c : name) {
    if (!c.isSpace() && c != u'-' && c != u'_') key += c.toLower();
  }
  return key;
}

std::optional<int> TestIndex(const QString& name) {
  const QString key = TestNameKey(name);
  if (key.isEmpty()) return std::nullopt;
  for (size_t i = 0; i < std::size(kTestNames); ++i) {
    const ActuatorTestRow& row = kActuatorTests[i];
    for (std::string_view known : {kTestNames[i], row.caption, row.name_a, row.name_b}) {
      if (key == TestNameKey(Q(known))) return static_cast<int>(i);
    }
  }
  return std::nullopt;
}

// The first option given an empty value (--csv ""), or given twice with different values;
// empty when there is none.
QString ValueMistake(const QCommandLineParser& parser) {
  for (const QString& name : parser.optionNames()) {
    const QStringList values = parser.values(name);
    const QString dashes = name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--");
    if (values.contains(QString())) {
      return QStringLiteral("%1%2 needs a value, not an empty text").arg(dashes, name);
    }
    for (const QString& value : values) {
      if (value == values.constFirst()) continue;
      return QStringLiteral("%1%2 is given twice, as \"%3\" and \"%4\"")
          .arg(dashes, name, values.constFirst(), value);
    }
  }
  return {};
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
    help += QStringLiteral("  %1%2\n").arg(Q(verb.name), -14).arg(Wrapped(Q(verb.summary), 16));
  }
  help += QStringLiteral(
              "\n\"%1 COMMAND --help\" describes a command's options. The options above\n"
              "may come before or after the command.\n"
              "\nExit status, the same for every command:\n"
              "  0  done\n"
              "  1  the output could not be written: a full disk, a closed pipe, or a file path\n"
              "     refused before the port opens\n"
              "  2  wrong usage, or a file that cannot be read or replayed\n"
              "  3  the port did not open, or was lost (a cable or adapter unplugged)\n"
              "  4  the ECU did not answer\n"
              "  5  interrupted (Ctrl-C, SIGTERM, SIGHUP, ...)\n"
              "  6  test: the ECU reported the test as failed\n"
              "  7  test: the test ended without a verdict\n"
              "  8  info, live: part of what was asked could not be read; what was read is "
              "printed\n"
              "  9  check-cable: the interface did not echo what was sent\n")
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
                     "advance, pressure, air, water, throttle, battery, trimmer. Without it, "
                     "all of them, except on a P8: throttle and battery only, as the window "
                     "polls a P8."),
      QStringLiteral("LIST"));
  const QCommandLineOption count(QStringLiteral("count"),
                                 QStringLiteral("Stop after N samples (up to %1).").arg(kMaxCount),
                                 QStringLiteral("N"));
  const QCommandLineOption duration(
      QStringLiteral("duration"),
      QStringLiteral("Stop after S seconds (up to %1, a day).").arg(kMaxDurationS),
      QStringLiteral("S"));
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
      QStringLiteral("Run the custom test with this request byte: one or two hexadecimal "
                     "digits, 0x allowed before them."),
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
                         "clear-dtc, or the name the test window or its log writes "
                         "(Injector1), in any case."),
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
  if (const QString mistake = ValueMistake(parser); !mistake.isEmpty()) return Mistake(mistake);
  if (help_asked || parser.isSet(help)) {
    return Text(parser.helpText().replace(QStringLiteral("[options]"),
                                          Q(verb.name) + QStringLiteral(" [options]")) +
                QLatin1Char('\n') +
                Wrapped(QStringLiteral("Exit status: %1 (the list for every command: \"%2 "
                                       "--help\").")
                            .arg(Q(verb.statuses), QLatin1String(kProgram)),
                        0) +
                QLatin1Char('\n'));
  }
  // What was given, without asking the parser about options this command lacks.
  const QStringList found = parser.optionNames();
  const auto given = [&](const QCommandLineOption& option) {
    return found.contains(option.names().constFirst());
  };
  if (given(count)) {
    bool ok = false;
    command.count = parser.value(count).toInt(&ok);
    if (!ok || *command.count < 1 || *command.count > kMaxCount) {
      return Mistake(QStringLiteral("--count takes a whole number from 1 to %1").arg(kMaxCount));
    }
  }
  if (given(duration)) {
    bool ok = false;
    command.duration_s = parser.value(duration).toDouble(&ok);
    // Also refuses "inf" and "nan", which would never end.
    if (!ok || !(*command.duration_s > 0 && *command.duration_s <= kMaxDurationS)) {
      return Mistake(
          QStringLiteral("--duration takes a number of seconds above 0 and up to %1 (a day)")
              .arg(kMaxDurationS));
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
    if (parser.positionalArguments().size() != 1 ||
        parser.positionalArguments().constFirst().isEmpty()) {
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
      // Refused here, before the ECU is even woken: a typo must never reach it. The window's
      // field forgives blanks around the digits; an argument holds none unless quoted in.
      const QString text = parser.value(code);
      if (std::any_of(text.begin(), text.end(), [](QChar c) { return c.isSpace(); })) {
        return Mistake(Q(kCustomCodeRangeLine));
      }
      const std::string_view refusal = CustomCodeRefusal(text.toStdString());
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

// Global options may follow the command, as people type them: they are moved before it, so
// that one parser reads them wherever they stood. Everything else keeps its order.
QStringList GlobalOptionsFirst(const QStringList& arguments) {
  static const QStringList kWithValue = {QStringLiteral("--port"), QStringLiteral("--type"),
                                         QStringLiteral("--replay")};
  static const QStringList kFlags = {QStringLiteral("--simulate"), QStringLiteral("--version")};
  QStringList before{arguments.value(0)};  // the program's name
  QStringList after;
  bool command_seen = false;
  for (qsizetype i = 1; i < arguments.size(); ++i) {
    const QString& argument = arguments[i];
    const QString name = argument.section(u'=', 0, 0);
    const bool global = kWithValue.contains(name) || kFlags.contains(name);
    if (!command_seen && !argument.startsWith(u'-')) command_seen = true;
    QStringList& into = global || !command_seen ? before : after;
    into << argument;
    // A value that is a word of its own goes with its option.
    if (kWithValue.contains(argument) && i + 1 < arguments.size()) into << arguments[++i];
  }
  return before + after;
}

// The types --simulate=TYPE names, as typed: none for a plain --simulate.
QStringList SimulatedTypes(const QStringList& arguments) {
  QStringList types;
  for (const QString& argument : arguments) {
    if (argument.startsWith(QStringLiteral("--simulate="))) types << argument.section(u'=', 1);
  }
  return types;
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
                     "else 15m)."));
  parser.addOptions({help, version});
  target_options.AddTo(parser);
  parser.addPositionalArgument(QStringLiteral("command"),
                               QStringLiteral("What to do (see Commands)."),
                               QStringLiteral("command [options]"));

  const QStringList ordered = GlobalOptionsFirst(arguments);
  const QStringList simulated = SimulatedTypes(ordered);
  if (simulated.contains(QString())) {
    return Mistake(QStringLiteral("--simulate= needs a TYPE after the \"=\""));
  }
  if (simulated.size() > 1 && simulated.count(simulated.constFirst()) != simulated.size()) {
    return Mistake(QStringLiteral("--simulate is given twice, with different types"));
  }
  if (!parser.parse(target_options.Prepare(ordered))) return Mistake(parser.errorText());
  if (const QString mistake = ValueMistake(parser); !mistake.isEmpty()) return Mistake(mistake);
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
  if (target->simulated_type && target->type && *target->simulated_type != *target->type) {
    return Mistake(
        QStringLiteral("--simulate=%1 and --type %2 name different ECU types")
            .arg(Q(EcuTypeName(*target->simulated_type)), Q(EcuTypeName(*target->type))));
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
