// The program's own folder among the system's temporary files, for what a run keeps to
// itself (a demonstration's settings). A run removes its folder on every end it sees; one
// that was killed cannot, so the next start removes what such runs left behind.
#pragma once

#include <QDir>
#include <QString>
#include <QTemporaryDir>

namespace kline {

// "<temporary folder>/<name>-XXXXXX", made private to the user, holding the run's process
// id in "pid". Removed with this object, and on std::exit (Qt's own when the display goes
// away), which skips the destructors of main's objects.
class RunFolder {
 public:
  explicit RunFolder(const QString& name);
  ~RunFolder();
  RunFolder(const RunFolder&) = delete;
  RunFolder& operator=(const RunFolder&) = delete;

  QString FilePath(const QString& file) const { return dir_.filePath(file); }

 private:
  QTemporaryDir dir_;
};

// Removes the folders "<name>-XXXXXX" in `where` that this user's runs left: those whose
// "pid" names a process that no longer exists. A folder of a live run, one without a
// readable "pid" and anything else in `where` stay.
void RemoveLeftRunFolders(const QString& name, const QString& where = QDir::tempPath());

}  // namespace kline
