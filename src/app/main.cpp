// kline-diag: the main window on the first serial port, or on a simulated ECU for a
// demonstration without a motorcycle.
#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <optional>

#include "engine/engine_thread.h"
#include "engine/run_folder.h"
#include "engine/stop_signals.h"
#include "engine/target_options.h"
#include "link/ecu_type.h"
#include "link/ini_file.h"
#include "ui/main_window.h"

#ifdef KLINE_WITH_SIMULATOR
#include "link/trace_reader.h"
#include "sim/pty_ecu_server.h"
#endif

#ifdef KLINE_WITH_DEMO_LINE
#include "link/clock.h"
#include "sim/simulated_line.h"
#endif

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
                     "selected one) on a pseudo-terminal and use it as the port."));
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
#ifdef KLINE_WITH_SIMULATOR
  // A trace that cannot be replayed is refused before any window system is touched.
  std::optional<kline::TraceFile> trace;
  if (target->replay) {
    std::string error;
    trace = kline::LoadTrace(target->replay->toStdString(), &error);
    if (!trace) return Fail(QString::fromStdString(error));
  }
#endif
  QApplication app(argc, argv);
  NameApplication();
  kline::RemoveLeftRunFolders(QCoreApplication::applicationName());
  // Made before the engine and gone after it: a signal while the ECU is being taken out of
  // diagnostic mode must not cut that short.
  kline::StopSignals stop_signals;

#ifdef KLINE_WITH_SIMULATOR
  // Outlives the engine, so the port is closed before its far side goes away.
  std::unique_ptr<kline::sim::PtyEcuServer> simulator;
#endif
  // A demonstration keeps its settings (the pseudo-terminal's path) to itself, so that the
  // real cable's port is still in the field at the next ordinary start.
  std::optional<kline::RunFolder> demo_settings;
  if (target->simulate || target->replay) {
    demo_settings.emplace(QCoreApplication::applicationName());
  }
  const QString settings_path = demo_settings
                                    ? demo_settings->FilePath(QStringLiteral("kline-diag.ini"))
                                    : kline::DefaultSettingsPath();
#ifdef KLINE_WITH_DEMO_LINE
  // The simulated ECU is the engine's device, in real time; it outlives the engine.
  kline::SteadyClock demo_clock;
  std::unique_ptr<kline::sim::SimulatedLine> demo_line;
  if (target->simulate) {
    demo_line = kline::sim::NewDemoLine(
        target->simulated_type.value_or(target->type.value_or(kline::EcuType::k15m)), demo_clock);
  }
  kline::SerialDevice* device = demo_line.get();
#else
  kline::SerialDevice* device = nullptr;
#endif
  // The wire's owner runs on a thread of its own; it stops (leaving diagnostic mode and
  // closing the port) before the simulator's far side goes away.
  kline::EngineThread engine({.device = device, .clock = nullptr, .settings_path = settings_path});
  kline::ui::MainWindow window(engine.engine(), settings_path);
  if (target->type) window.SelectType(*target->type);
  if (target->port) window.SetPortFieldText(*target->port);

  if (target->simulate) {
#ifdef KLINE_WITH_SIMULATOR
    const kline::EcuType chosen =
        target->simulated_type.value_or(window.SelectedType().value_or(kline::EcuType::k15m));
    std::string error;
    simulator = kline::sim::StartDemoServer(chosen, &error);
    if (!simulator) {
      return Fail(
          QStringLiteral("cannot start the simulator: %1").arg(QString::fromStdString(error)));
    }
    window.SelectType(chosen);
    window.SetPortFieldText(QString::fromStdString(simulator->slave_path()));
#elif defined(KLINE_WITH_DEMO_LINE)
    window.SelectType(target->simulated_type.value_or(target->type.value_or(kline::EcuType::k15m)));
    window.SetPortFieldText(QString::fromLatin1(kline::sim::kSimulatedPortName));
#else
    return Fail(QStringLiteral("--simulate needs pseudo-terminals, which this system lacks"));
#endif
  }
  if (target->replay) {
#ifdef KLINE_WITH_SIMULATOR
    std::string error;
    const kline::EcuType chosen = target->type.value_or(
        trace->type.value_or(window.SelectedType().value_or(kline::EcuType::k15m)));
    kline::sim::ReplayEcu::Options replay;
    replay.report = [](const std::string& text) {
      std::fprintf(stderr, "kline-diag: replay: %s\n", text.c_str());
    };
    simulator = kline::sim::StartReplayServer(*trace, chosen, std::move(replay), &error);
    if (!simulator) {
      return Fail(QStringLiteral("cannot replay %1: %2")
                      .arg(*target->replay, QString::fromStdString(error)));
    }
    window.SelectType(chosen);
    window.SetPortFieldText(QString::fromStdString(simulator->slave_path()));
#else
    return Fail(QStringLiteral("--replay needs pseudo-terminals, which this system lacks"));
#endif
  }

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
