#include "link/ini_file.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <algorithm>
#include <optional>
#include <string_view>
#include <vector>

namespace kline {

namespace {

// A settings file is a few lines; anything beyond this is not ours and is not read whole.
constexpr qint64 kReadLimitBytes = 16 * 1024 * 1024;

#ifdef _WIN32
constexpr std::string_view kNewLine = "\r\n";
#else
constexpr std::string_view kNewLine = "\n";
#endif

std::string_view Trim(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  const size_t last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

bool SameName(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
    return lower(x) == lower(y);
  });
}

bool IsQuote(char c) { return c == '"' || c == '\''; }

// The file's first bytes, one past the cap: more than the cap means it was not read whole.
QByteArray ReadHead(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.read(kReadLimitBytes + 1);
}

IniText TextOf(const QByteArray& head) {
  return IniText(std::string_view(
      head.constData(), static_cast<size_t>(std::min<qint64>(head.size(), kReadLimitBytes))));
}

// "[name]" gives name; anything else nullopt.
std::optional<std::string_view> SectionName(std::string_view line) {
  line = Trim(line);
  if (line.size() < 2 || line.front() != '[') return std::nullopt;
  const size_t close = line.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return Trim(line.substr(1, close - 1));
}

// "key=value" gives key; comments and other lines nullopt.
std::optional<std::string_view> KeyName(std::string_view line) {
  const std::string_view trimmed = Trim(line);
  if (trimmed.empty() || trimmed.front() == ';') return std::nullopt;
  const size_t eq = line.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  return Trim(line.substr(0, eq));
}

std::string_view ValueOf(std::string_view line) {
  std::string_view value = Trim(line.substr(line.find('=') + 1));
  if (value.size() >= 2 && IsQuote(value.front()) && value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return value;
}

// Line breaks would split a value into lines of their own: they become blanks.
std::string OneLine(std::string text) {
  std::replace_if(
      text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
  return text;
}

// Quotes a value that the reader would otherwise trim or unquote.
std::string Quoted(const std::string& value) {
  const bool needs =
      !value.empty() &&
      (value.front() == ' ' || value.front() == '\t' || value.back() == ' ' ||
       value.back() == '\t' ||
       (value.size() >= 2 && IsQuote(value.front()) && value.back() == value.front()));
  return needs ? "\"" + value + "\"" : value;
}

struct Location {
  std::optional<size_t> section;  // index of the section's header line
  std::optional<size_t> key;      // index of the key's line inside it
  size_t insert_at = 0;           // after the section's last non-blank line
};

Location Find(const std::vector<std::string>& lines, std::string_view entete,
              std::string_view variable) {
  Location where;
  bool inside = false;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (const auto section = SectionName(lines[i])) {
      if (inside) break;  // the section ended; a repeated header is not merged
      inside = SameName(*section, entete);
      if (inside) {
        where.section = i;
        where.insert_at = i + 1;
      }
      continue;
    }
    if (!inside) continue;
    if (!Trim(lines[i]).empty()) where.insert_at = i + 1;
    const auto key = KeyName(lines[i]);
    if (key && SameName(*key, variable)) {
      where.key = i;
      break;
    }
  }
  return where;
}

}  // namespace

IniText::IniText(std::string_view text) {
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines_.emplace_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
}

std::string IniText::LireINI(const std::string& entete, const std::string& variable) const {
  const Location where = Find(lines_, entete, variable);
  if (!where.key) return {};
  std::string value(ValueOf(lines_[*where.key]));
  if (value.size() > static_cast<size_t>(kIniValueLimit)) value.resize(kIniValueLimit);
  return value;
}

void IniText::EcrireINI(const std::string& entete, const std::string& variable,
                        const std::string& valeur) const {
  const std::string key_line = OneLine(variable) + "=" + Quoted(OneLine(valeur));
  const Location where = Find(lines_, entete, variable);
  if (where.key) {
    lines_[*where.key] = key_line;
  } else if (where.section) {
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(where.insert_at), key_line);
  } else {
    if (!lines_.empty() && !Trim(lines_.back()).empty()) lines_.emplace_back();
    lines_.push_back("[" + OneLine(entete) + "]");
    lines_.push_back(key_line);
  }
}

std::string IniText::Text() const {
  std::string text;
  for (const std::string& line : lines_) (text += line) += kNewLine;
  return text;
}

std::string IniFile::LireINI(const std::string& entete, const std::string& variable) const {
  // Past the cap the file is not ours, but what its first part says is still read.
  return TextOf(ReadHead(path_)).LireINI(entete, variable);
}

void IniFile::EcrireINI(const std::string& entete, const std::string& variable,
                        const std::string& valeur) const {
  const QByteArray head = ReadHead(path_);
  // Written back from its first part, a file over the cap would lose the rest.
  if (head.size() > kReadLimitBytes) return;
  IniText text = TextOf(head);
  text.EcrireINI(entete, variable, valeur);
  const std::string data = text.Text();

  QDir().mkpath(QFileInfo(path_).absolutePath());
  QSaveFile file(path_);
  // A writable file in a folder that is not (an install tree where only the file was opened
  // up) cannot take the temporary file beside it: write it in place then, and only then.
  file.setDirectWriteFallback(true);
  if (!file.open(QIODevice::WriteOnly)) return;
  // The old file is replaced only when every byte reached the disk.
  const auto size = static_cast<qint64>(data.size());
  if (file.write(data.data(), size) != size || !file.flush()) {
    file.cancelWriting();
    return;
  }
  file.commit();
}

#ifndef KLINE_INSTALLED
namespace {

// Whether this program may create files in `dir`. Windows' folder rights are access lists,
// which QFileInfo does not read (Program Files looks writable to everyone): try it instead.
bool CanCreateFilesIn(const QString& dir) {
#ifdef _WIN32
  QTemporaryFile probe(dir + QStringLiteral("/kline-diag-XXXXXX.probe"));
  return probe.open();
#else
  return QFileInfo(dir).isWritable();
#endif
}

}  // namespace
#endif

QString DefaultSettingsPath() {
  const QString name = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName() +
                       QStringLiteral(".ini");
#ifndef KLINE_INSTALLED
  const QString dir = QCoreApplication::applicationDirPath();
  const QString beside = dir + QLatin1Char('/') + name;
  if (QFileInfo::exists(beside) || CanCreateFilesIn(dir)) return beside;
#endif
  // A program installed for everyone never writes beside itself, not even when run as root.
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
         QStringLiteral("/kline-diag/") + name;
}

}  // namespace kline
