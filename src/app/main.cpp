// kline-diag: the main window on the first serial port, or on a simulated ECU for a
// demonstration without a motorcycle.
#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>
#include <cstdio>
#include <optional>

#include "engine/engine_thread.h"
#include "engine/run_folder.h"
#include "engine/stop_signals.h"
#include "engine/target_options.h"
#include "link/ecu_type.h"
#include "link/ini_file.h"
#include "sim/ecu_target.h"
#include "ui/main_window.h"

namespace {

int Fail(const QString& message) {
  std::fprintf(stderr, "kline-diag: %s\n", qPrintable(message));
  return 2;
}

void NameApplication() {
  QCoreApplication::setApplicationName(QStringLiteral("kline-diag"));
  QCoreApplication::setApplicationVersion(QStringLiteral(KLINE_VERSION));
}

}  // namespace

int main(int argc, char** argv) {
  QCommandLineParser parser;
  parser.setApplicationDescription(
      QStringLiteral("Diagnostics for 15m, 15Rc, 16m and P8 engine control units over a K-line "
                     "serial cable."));
  const QCommandLineOption help_option = parser.addHelpOption();
  const QCommandLineOption version_option = parser.addVersionOption();
  kline::TargetOptions target_options(
      QStringLiteral("--simulate[=TYPE]: serve a simulated ECU of that type (default: the "
                     "selected one) and use it as the port."));
  target_options.AddTo(parser);
  const QCommandLineOption connect_option(
      QStringLiteral("connect"), QStringLiteral("Tick \"Connect\" once the window is up."));
  parser.addOption(connect_option);

  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  arguments = target_options.Prepare(arguments);
  // Help, version and mistakes are answered before any window system is touched, so they
  // work on a machine without a display.
  if (!parser.parse(arguments) || parser.isSet(help_option) || parser.isSet(version_option)) {
    QCoreApplication text_only(argc, argv);
    NameApplication();
    parser.process(arguments);  // prints and exits
  }
  if (!parser.positionalArguments().isEmpty()) {
    return Fail(QStringLiteral("unexpected argument \"%1\" (see --help)")
                    .arg(parser.positionalArguments().constFirst()));
  }
  QString mistake;
  const std::optional<kline::TargetChoice> target = target_options.Read(parser, &mistake);
  if (!target) return Fail(mistake);
  // What a demonstration or a replay talks to, started before any window system is touched
  // so that a refusal needs no display. It outlives the engine: the port is closed before
  // its far side goes away.
  kline::sim::EcuTarget far_end;
  std::optional<kline::EcuType> far_type;  // the type it plays, selected in the window
  std::string error;
  if (target->simulate) {
    far_type = target->simulated_type.value_or(target->type.value_or(kline::EcuType::k15m));
    if (!far_end.StartDemo(*far_type, &error)) {
      return Fail(
          QStringLiteral("cannot start the simulator: %1").arg(QString::fromStdString(error)));
    }
  }
  if (target->replay) {
    const std::optional<kline::TraceFile> trace =
        kline::sim::EcuTarget::LoadReplay(target->replay->toStdString(), &error);
    if (!trace) return Fail(QString::fromStdString(error));
    far_type = target->type.value_or(trace->type.value_or(kline::EcuType::k15m));
    const auto report = [](const std::string& text) {
      std::fprintf(stderr, "kline-diag: replay: %s\n", text.c_str());
    };
    if (!far_end.StartReplay(*trace, *far_type, report, &error)) {
      return Fail(QStringLiteral("cannot replay %1: %2")
                      .arg(*target->replay, QString::fromStdString(error)));
    }
  }
  QApplication app(argc, argv);
  NameApplication();
  kline::RemoveLeftRunFolders(QCoreApplication::applicationName());
  // Made before the engine and gone after it: a signal while the ECU is being taken out of
  // diagnostic mode must not cut that short.
  kline::StopSignals stop_signals;

  // A demonstration keeps its settings (the pseudo-terminal's path) to itself, so that the
  // real cable's port is still in the field at the next ordinary start.
  std::optional<kline::RunFolder> demo_settings;
  if (far_type) demo_settings.emplace(QCoreApplication::applicationName());
  const QString settings_path = demo_settings
                                    ? demo_settings->FilePath(QStringLiteral("kline-diag.ini"))
                                    : kline::DefaultSettingsPath();
  // The wire's owner runs on a thread of its own; it stops (leaving diagnostic mode and
  // closing the port) before the far end goes away.
  kline::EngineThread engine(
      {.device = far_end.device(), .clock = nullptr, .settings_path = settings_path});
  kline::ui::MainWindow window(engine.engine(), settings_path);
  if (const auto type = far_type ? far_type : target->type) window.SelectType(*type);
  if (target->port) window.SetPortFieldText(*target->port);
  if (far_type) window.SetPortFieldText(far_end.port_field());

  window.show();
  // A closed terminal, a logout or a kill closes the window as a click would: the ECU is
  // taken out of diagnostic mode before the port closes. While it may be in it, the window
  // stays to say so and ends the program itself once the ECU is out.
  const auto close_window = [&window] {
    if (window.close()) QCoreApplication::quit();
  };
  QObject::connect(&stop_signals, &kline::StopSignals::Received, &window, close_window);
#ifdef Q_OS_WIN
  // A window program has no console: Windows asks it to end for a logoff or a shutdown
  // through the session manager.
  QObject::connect(&app, &QGuiApplication::commitDataRequest, &window, close_window);
#endif
  if (parser.isSet(connect_option)) {
    QTimer::singleShot(0, &window, [&window] { window.TickConnect(); });
  }
  return QApplication::exec();
}
