// The whole command-line tool behind main(): reads the arguments, serves a simulated ECU
// when asked, turns Ctrl-C and the other stop signals into an orderly stop and runs the
// command.
#pragma once

#include <QStringList>
#include <cstdio>

namespace kline::cli {

// Needs a QCoreApplication. Returns the exit status.
int RunProgram(const QStringList& arguments, std::FILE* out, std::FILE* err);

}  // namespace kline::cli
