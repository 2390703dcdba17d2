// The options both programs take to say which ECU to talk to: --port, --type,
// --simulate[=TYPE] and --replay FILE, declared and read in one place.
#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>
#include <QStringList>
#include <optional>

#include "link/ecu_type.h"

namespace kline {

struct TargetChoice {
  std::optional<QString> port;            // --port P
  std::optional<EcuType> type;            // --type TYPE
  bool simulate = false;                  // --simulate, with or without a type
  std::optional<EcuType> simulated_type;  // --simulate=TYPE
  std::optional<QString> replay;          // --replay FILE: a recorded trace played back
};

class TargetOptions {
 public:
  // `simulate_help` says what the program does with a simulated ECU.
  explicit TargetOptions(const QString& simulate_help);

  void AddTo(QCommandLineParser& parser) const;
  // The parser has no options with an optional value: "--simulate=TYPE" is taken apart here,
  // before parsing, and its type kept for Read.
  QStringList Prepare(QStringList arguments);
  // After a successful parse: the choice, or the mistake in one sentence in `error`.
  std::optional<TargetChoice> Read(const QCommandLineParser& parser, QString* error) const;

 private:
  QCommandLineOption port_;
  QCommandLineOption type_;
  QCommandLineOption simulate_;
  QCommandLineOption replay_;
  QString simulated_type_text_;
};

}  // namespace kline
