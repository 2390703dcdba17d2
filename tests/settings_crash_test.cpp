// The settings file when the program dies in the middle of writing it: a child process
// rewrites it as fast as it can and is killed at a random moment, many times over; the
// file must always hold the old or the new content, whole.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <QTemporaryDir>
#include <random>

#include "link/ini_file.h"

namespace kline {
namespace {

QByteArray Content(const std::string& value) {
  return QByteArray("[Hardware]\nCom=") + QByteArray::fromStdString(value) + "\nEcu=3\n";
}

TEST(SettingsCrash, KilledWritersLeaveOldOrNewContent) {
  QTemporaryDir dir;
  const QString path = dir.path() + "/kline-diag.ini";
  // Long values so that a write takes more than one system call's worth of time.
  const std::string first(200, '1');
  const std::string second(240, '2');
  IniFile ini(path);
  ini.EcrireINI("Hardware", "Com", first);
  ini.EcrireINI("Hardware", "Ecu", "3");
  ASSERT_EQ(ini.LireINI("Hardware", "Com"), first);

  std::mt19937 random(42);
  for (int round = 0; round < 150; ++round) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      for (unsigned i = 0;; ++i) ini.EcrireINI("Hardware", "Com", i % 2 ? second : first);
    }
    usleep(200 + random() % 3000);
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << "round " << round;
    const QByteArray data = file.readAll();
    ASSERT_TRUE(data == Content(first) || data == Content(second))
        << "round " << round << ": " << data.left(60).toStdString();
  }
}

}  // namespace
}  // namespace kline
