#include "link/save_file.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace kline {

namespace {

template <class File>
bool WriteAll(File& file, std::string_view bytes) {
  return file.write(bytes.data(), static_cast<qint64>(bytes.size())) ==
             static_cast<qint64>(bytes.size()) &&
         file.flush();
}

}  // namespace

bool SaveWholeFile(const QString& path, std::string_view bytes, QString* error) {
  const QFileInfo info(path);
  if (info.exists() && !info.isFile()) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !WriteAll(file, bytes)) {
      *error = file.errorString();
      return false;
    }
    return true;
  }
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) || !WriteAll(file, bytes) || !file.commit()) {
    *error = file.errorString();
    return false;
  }
  return true;
}

}  // namespace kline
