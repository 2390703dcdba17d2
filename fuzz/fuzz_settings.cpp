// Any bytes as the settings text: reading never fails, and a write keeps it readable. The
// text is parsed from memory, the way the file's own read and write parse it.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "link/ini_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const kline::IniText ini(std::string_view(reinterpret_cast<const char*>(data), size));
  const std::string com = ini.LireINI("Hardware", "Com");
  if (com.size() > static_cast<size_t>(kline::kIniValueLimit)) std::abort();
  ini.EcrireINI("Hardware", "Ecu", "3");
  if (ini.LireINI("Hardware", "Ecu") != "3") std::abort();
  // What would be written to disk reads back the same.
  const kline::IniText again(ini.Text());
  if (again.LireINI("Hardware", "Ecu") != "3" || again.LireINI("Hardware", "Com") != com) {
    std::abort();
  }
  return 0;
}
