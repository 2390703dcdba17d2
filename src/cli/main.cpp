// kline-diag-cli: the diagnostic tool without a window, one command per run.
#include <QCoreApplication>
#include <cstdio>

#include "cli/program.h"
#include "engine/run_folder.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("kline-diag-cli"));
  kline::RemoveLeftRunFolders(QCoreApplication::applicationName());
  return kline::cli::RunProgram(QCoreApplication::arguments(), stdout, stderr);
}
