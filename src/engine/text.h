// Our texts are UTF-8 std::string; Qt's are QString. One conversion for every layer above
// the engine.
#pragma once

#include <QString>
#include <string_view>

namespace kline {

inline QString Q(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace kline
