// The settings file: classic "[section]" / "key=value" text, read and written one value at
// a time. Writes replace the whole file atomically, keeping every other line as it was.
#pragma once

#include <QString>
#include <string>

namespace kline {

class IniFile {
 public:
  explicit IniFile(QString path) : path_(std::move(path)) {}

  // The value, at most 254 characters; "" when the file, section or key is missing.
  std::string LireINI(const std::string& entete, const std::string& variable) const;
  // Creates file, section and key as needed; a failed write is silent.
  void EcrireINI(const std::string& entete, const std::string& variable,
                 const std::string& valeur) const;

  const QString& path() const { return path_; }

 private:
  QString path_;
};

inline constexpr int kIniValueLimit = 254;

// Beside the executable, named after it with ".ini"; when that folder cannot be written,
// the user's configuration folder, unless a file beside the executable already exists.
QString DefaultSettingsPath();

}  // namespace kline
