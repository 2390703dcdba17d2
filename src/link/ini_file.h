// The settings file: classic "[section]" / "key=value" text, read and written one value at
// a time. Writes replace the whole file atomically, keeping every other line as it was.
#pragma once

#include <QString>
#include <string>
#include <string_view>
#include <vector>

namespace kline {

// Where the session keeps the port and type it last connected with.
class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  // The value, at most 254 characters; "" when the section or key is missing.
  virtual std::string LireINI(const std::string& entete, const std::string& variable) const = 0;
  // Creates section and key as needed; a failed write is silent. Const because a store is
  // a handle on settings kept elsewhere (a file, a text).
  virtual void EcrireINI(const std::string& entete, const std::string& variable,
                         const std::string& valeur) const = 0;
};

// The settings as text in memory, read and edited by the same rules as the file: what the
// file is built on, and a store that never touches the disk.
class IniText : public SettingsStore {
 public:
  explicit IniText(std::string_view text = {});

  std::string LireINI(const std::string& entete, const std::string& variable) const override;
  void EcrireINI(const std::string& entete, const std::string& variable,
                 const std::string& valeur) const override;
  // The whole text, every line ended by the platform's line break.
  std::string Text() const;

 private:
  mutable std::vector<std::string> lines_;  // each without its line break
};

class IniFile : public SettingsStore {
 public:
  explicit IniFile(QString path) : path_(std::move(path)) {}

  // "" also when the file is missing.
  std::string LireINI(const std::string& entete, const std::string& variable) const override;
  // Creates the file as needed. A file too large to have been read whole is left untouched.
  void EcrireINI(const std::string& entete, const std::string& variable,
                 const std::string& valeur) const override;

  const QString& path() const { return path_; }

 private:
  QString path_;
};

inline constexpr int kIniValueLimit = 254;

// Named after the executable with ".ini": beside it, unless that folder cannot be written
// and holds no such file, or the program is built for installation (KLINE_INSTALLED); then
// in "kline-diag" under the user's configuration folder (~/.config on Linux).
QString DefaultSettingsPath();

}  // namespace kline
