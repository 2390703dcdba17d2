// A start removes the folders of runs that were killed, and nothing else.
#include "engine/run_folder.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>

namespace kline {
namespace {

TEST(RunFolder, AStartRemovesOnlyWhatKilledRunsLeft) {
  const pid_t dead = ::fork();
  if (dead == 0) ::_exit(0);
  ASSERT_GT(dead, 0);
  ASSERT_EQ(::waitpid(dead, nullptr, 0), dead);
  struct Case {
    const char* folder;
    QByteArray pid;  // the content of "pid"; empty: no such file
    bool kept;
  };
  const Case cases[] = {
      {"kline-test-a1B2c3", QByteArray::number(dead), false},
      {"kline-test-d4E5f6", QByteArray::number(::getpid()), true},
      {"kline-test-g7H8i9", "", true},
      {"kline-test-j1K2l3m", QByteArray::number(dead), true},
      {"kline-test-cli-n4O5p6", QByteArray::number(dead), true},
      {"other-test-q7R8s9", QByteArray::number(dead), true},
  };
  const QTemporaryDir where;
  for (const Case& c : cases) {
    ASSERT_TRUE(QDir(where.path()).mkdir(c.folder));
    QFile pid(where.filePath(QStringLiteral("%1/pid").arg(c.folder)));
    if (!c.pid.isEmpty()) {
      ASSERT_TRUE(pid.open(QIODevice::WriteOnly) && pid.write(c.pid) > 0);
    }
  }
  const RunFolder own(QStringLiteral("kline-test"));
  RemoveLeftRunFolders(QStringLiteral("kline-test"), where.path());
  RemoveLeftRunFolders(QStringLiteral("kline-test"));
  for (const Case& c : cases) {
    EXPECT_EQ(QDir(where.filePath(c.folder)).exists(), c.kept) << c.folder;
  }
  EXPECT_TRUE(QFile::exists(own.FilePath(QStringLiteral("pid"))));
}

}  // namespace
}  // namespace kline
