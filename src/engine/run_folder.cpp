#include "engine/run_folder.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <cstdlib>
#include <vector>

#ifdef Q_OS_UNIX
#include <unistd.h>

#include <cerrno>
#include <csignal>
#endif

namespace kline {

namespace {

constexpr char kPidFile[] = "pid";

// The folders alive now, for an exit that skips their destructors. The program makes them
// on its main thread.
std::vector<QTemporaryDir*>& LiveFolders() {
  static std::vector<QTemporaryDir*> folders;
  // Registered after the list is made, so it runs before the list is destroyed.
  [[maybe_unused]] static const int hooked = std::atexit([] {
    for (QTemporaryDir* folder : LiveFolders()) folder->remove();
  });
  return folders;
}

#ifdef Q_OS_UNIX
bool RunIsOver(const QFileInfo& folder) {
  if (folder.ownerId() != ::geteuid()) return false;
  QFile pid_file(folder.filePath() + QLatin1Char('/') + QLatin1String(kPidFile));
  if (!pid_file.open(QIODevice::ReadOnly)) return false;
  bool number = false;
  const qint64 pid = pid_file.read(32).trimmed().toLongLong(&number);
  if (!number || pid <= 0) return false;
  // EPERM would be a live process of someone else: the number was reused, the run may be
  // over, but a kept folder costs little.
  return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}
#else
// Without a way here to ask whether a process lives, only a run removes its own folder.
bool RunIsOver(const QFileInfo&) { return false; }
#endif

}  // namespace

RunFolder::RunFolder(const QString& name)
    : dir_(QDir::tempPath() + QLatin1Char('/') + name + QLatin1String("-XXXXXX")) {
  LiveFolders().push_back(&dir_);
  // Written whole under another name, then renamed: a start that looks meanwhile finds no
  // number, or all of it, never a part that names another process.
  QSaveFile pid_file(dir_.filePath(QLatin1String(kPidFile)));
  if (dir_.isValid() && pid_file.open(QIODevice::WriteOnly)) {
    pid_file.write(QByteArray::number(QCoreApplication::applicationPid()));
    pid_file.commit();
  }
}

RunFolder::~RunFolder() { std::erase(LiveFolders(), &dir_); }

void RemoveLeftRunFolders(const QString& name, const QString& where) {
  // QTemporaryDir fills its six places with letters and digits.
  const QRegularExpression pattern(QRegularExpression::anchoredPattern(
      QRegularExpression::escape(name) + QStringLiteral("-[A-Za-z0-9]{6}")));
  const QFileInfoList entries = QDir(where).entryInfoList(
      {name + QStringLiteral("-*")}, QDir::Dirs | QDir::NoSymLinks | QDir::NoDotAndDotDot);
  for (const QFileInfo& entry : entries) {
    if (pattern.match(entry.fileName()).hasMatch() && RunIsOver(entry)) {
      QDir(entry.filePath()).removeRecursively();
    }
  }
}

}  // namespace kline
