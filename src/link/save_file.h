// Writing a file the user named, whole. An ordinary file (or a new one) is written aside and
// renamed over the old one, so that a failed save never leaves half of it; anything else (a
// device such as /dev/full, a pipe, a terminal) is written to directly, since renaming over
// it would replace the device itself with a file.
#pragma once

#include <QString>
#include <string_view>

namespace kline {

// False with the system's reason in `error`.
bool SaveWholeFile(const QString& path, std::string_view bytes, QString* error);

}  // namespace kline
