// Any bytes as the settings file: reading never fails, and a write keeps it readable.
#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>

#include "link/ini_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static int argc = 1;
  static char name[] = "fuzz_settings";
  static char* argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);
  static QTemporaryDir dir;
  const QString path = dir.path() + "/fuzz.ini";
  {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 0;
    file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
  }
  const kline::IniFile ini(path);
  const std::string com = ini.LireINI("Hardware", "Com");
  if (com.size() > static_cast<size_t>(kline::kIniValueLimit)) std::abort();
  ini.LireINI("Hardware", "Ecu");
  ini.EcrireINI("Hardware", "Ecu", "3");
  if (ini.LireINI("Hardware", "Ecu") != "3") std::abort();
  return 0;
}
