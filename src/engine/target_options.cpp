#include "engine/target_options.h"

namespace kline {

namespace {

constexpr char kSimulate[] = "simulate";
constexpr char kSimulateWithType[] = "--simulate=";

std::optional<EcuType> TypeNamed(const QString& text, QString* error) {
  std::optional<EcuType> type = EcuTypeFromName(text.toStdString());
  if (!type) *error = QStringLiteral("unknown ECU type \"%1\"").arg(text);
  return type;
}

}  // namespace

TargetOptions::TargetOptions(const QString& simulate_help)
    : port_(QStringLiteral("port"), QStringLiteral("Serial port: a number or a device path."),
            QStringLiteral("P")),
      type_(QStringLiteral("type"), QStringLiteral("ECU type: 15m, 15Rc, 16m or P8, in any case."),
            QStringLiteral("TYPE")),
      simulate_(QLatin1String(kSimulate), simulate_help),
      replay_(
          QStringLiteral("replay"),
          QStringLiteral(
              "Serve a simulated ECU that replays the ECU's side of a trace (the "
              "line monitor's CSV, kline-sim --trace or a support report) and use it as the port; "
              "the type comes from --type, else from the file."),
          QStringLiteral("FILE")) {}

void TargetOptions::AddTo(QCommandLineParser& parser) const {
  parser.addOptions({port_, type_, simulate_, replay_});
}

QStringList TargetOptions::Prepare(QStringList arguments) {
  simulated_type_text_.clear();
  for (QString& argument : arguments) {
    if (argument.startsWith(QLatin1String(kSimulateWithType))) {
      simulated_type_text_ = argument.mid(static_cast<qsizetype>(sizeof(kSimulateWithType) - 1));
      argument = QStringLiteral("--") + QLatin1String(kSimulate);
    }
  }
  return arguments;
}

std::optional<TargetChoice> TargetOptions::Read(const QCommandLineParser& parser,
                                                QString* error) const {
  TargetChoice choice;
  if (parser.isSet(port_)) choice.port = parser.value(port_);
  if (parser.isSet(type_)) {
    choice.type = TypeNamed(parser.value(type_), error);
    if (!choice.type) return std::nullopt;
  }
  choice.simulate = parser.isSet(simulate_);
  if (parser.isSet(replay_)) {
    if (choice.simulate) {
      *error = QStringLiteral("--simulate and --replay exclude each other");
      return std::nullopt;
    }
    choice.replay = parser.value(replay_);
  }
  if (!simulated_type_text_.isEmpty()) {
    choice.simulated_type = TypeNamed(simulated_type_text_, error);
    if (!choice.simulated_type) return std::nullopt;
  }
  return choice;
}

}  // namespace kline
