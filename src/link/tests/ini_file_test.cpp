#include "link/ini_file.h"

#include <gtest/gtest.h>

// File-size limits, permissions and a second user are POSIX's; Windows runs the rest.
#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <csignal>
#include <random>

namespace kline {
namespace {

// A file as this platform's editors write it: Windows ends its lines with CR LF.
std::string Native(std::string text) {
#ifdef _WIN32
  for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 2)) {
    text.insert(at, 1, '\r');
  }
#endif
  return text;
}

// Reading and editing rules, on text in memory: the file goes through the same code.
TEST(IniText, ReadsAndEditsKeepingEverythingElse) {
  struct Case {
    const char* text;
    const char* entete;
    const char* variable;
    const char* read;
    const char* after_write;  // after writing "5" to the same key
  };
  const Case cases[] = {
      {"", "Hardware", "Com", "", "[Hardware]\nCom=5\n"},
      {"[hardware]\nCOM = 7 \necu=4\n", "HARDWARE", "Com", "7", "[hardware]\nCom=5\necu=4\n"},
      {"[hardware]\necu=4", "Other", "ecu", "", "[hardware]\necu=4\n\n[Other]\necu=5\n"},
      {"; by hand\n[Display]\nCom=99\n\n[Hardware]\nEcu=2\r\nCom=1\n; keep\n\n[Later]\nx=y\n",
       "Hardware", "Com", "1",
       "; by hand\n[Display]\nCom=99\n\n[Hardware]\nEcu=2\nCom=5\n; keep\n\n[Later]\nx=y\n"},
      {"[Hardware]\nEcu=2\n; keep\n\n[Later]\n", "Hardware", "Extra", "",
       "[Hardware]\nEcu=2\n; keep\nExtra=5\n\n[Later]\n"},
      // A repeated header is a section of its own, never merged into the first.
      {"[Hardware]\nEcu=1\n[Hardware]\nCom=6\n", "Hardware", "Com", "",
       "[Hardware]\nEcu=1\nCom=5\n[Hardware]\nCom=6\n"},
      {"[Hardware\nCom=1\n]\n=\n==\n[]\n;Com=3\n", "Hardware", "Com", "",
       "[Hardware\nCom=1\n]\n=\n==\n[]\n;Com=3\n\n[Hardware]\nCom=5\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const IniText ini(c.text);
    EXPECT_EQ(ini.LireINI(c.entete, c.variable), c.read);
    ini.EcrireINI(c.entete, c.variable, "5");
    EXPECT_EQ(ini.Text(), Native(c.after_write));
  }
}

TEST(IniText, AwkwardValuesRoundTrip) {
  const std::string values[] = {"a=b",         "x;y",      "\"quoted\"", "'q'",   " padded ",
                                "caf\xc3\xa9", "\xff\xfe", "",           "\"half"};
  const IniText ini;
  for (const std::string& value : values) {
    ini.EcrireINI("Hardware", "Com", value);
    EXPECT_EQ(IniText(ini.Text()).LireINI("Hardware", "Com"), value);
  }
  ini.EcrireINI("Hardware", "Com", "two\nlines");
  EXPECT_EQ(ini.LireINI("Hardware", "Com"), "two lines");
  EXPECT_EQ(ini.LireINI("Hardware", "lines"), "");
  ini.EcrireINI("Hardware", "Com", std::string(300, '7'));
  EXPECT_EQ(ini.LireINI("Hardware", "Com"), std::string(254, '7')) << "cut to 254 characters";
}

class IniFileTest : public ::testing::Test {
 protected:
  void WriteRaw(const QByteArray& data) {
    QFile file(path_);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(data);
  }
  QByteArray ReadRaw() {
    QFile file(path_);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }

  QTemporaryDir dir_;
  QString path_ = dir_.path() + "/kline-diag.ini";
  IniFile ini_{path_};
};

TEST_F(IniFileTest, ReadingLeavesAMissingFileAloneAndWritingCreatesItAndItsFolder) {
  EXPECT_EQ(ini_.LireINI("Hardware", "Com"), "");
  EXPECT_FALSE(QFileInfo::exists(path_));
  ini_.EcrireINI("Hardware", "Com", "3");
  EXPECT_EQ(ReadRaw().toStdString(), Native("[Hardware]\nCom=3\n"));
  IniFile nested(dir_.path() + "/config/kline/kline-diag.ini");
  nested.EcrireINI("Hardware", "Ecu", "4");
  EXPECT_EQ(nested.LireINI("Hardware", "Ecu"), "4");
}

TEST_F(IniFileTest, HostileFilesReadWhatTheyCan) {
  std::mt19937 random(7);
  QByteArray binary(1 << 16, '\0');
  for (char& c : binary) c = static_cast<char>(random());
  const QByteArray files[] = {
      binary,
      QByteArray("[Hardware]\n\0Com=2\nEcu\n", 23),
      QByteArray(1024 * 1024, '\n') + "[Hardware]\nCom=6\n",
  };
  for (const QByteArray& data : files) {
    WriteRaw(data);
    ini_.LireINI("Hardware", "Com");
    ini_.EcrireINI("Hardware", "Ecu", "1");
    EXPECT_EQ(ini_.LireINI("Hardware", "Ecu"), "1");
  }
  EXPECT_EQ(ini_.LireINI("Hardware", "Com"), "6");
}

// Over the read cap only the first part is read: writing that back would cut the file.
TEST_F(IniFileTest, FileOverTheCapIsReadButNeverWritten) {
  WriteRaw("[Hardware]\nCom=4\n");
  {
    QFile file(path_);
    ASSERT_TRUE(file.resize(17 * 1024 * 1024));
  }
  ini_.EcrireINI("Hardware", "Ecu", "1");
  EXPECT_EQ(QFileInfo(path_).size(), 17 * 1024 * 1024);
  EXPECT_EQ(ini_.LireINI("Hardware", "Com"), "4");
  EXPECT_EQ(ini_.LireINI("Hardware", "Ecu"), "");
}

#ifndef _WIN32
TEST_F(IniFileTest, FailedWriteLeavesTheOldFileWhole) {
  ini_.EcrireINI("Hardware", "Com", "2");
  const QByteArray before = ReadRaw();
  // A disk that fills up mid-write, even for root: a file size limit and no signal for it.
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  const auto old_handler = signal(SIGXFSZ, SIG_IGN);
  rlimit tight = saved;
  tight.rlim_cur = 64;
  setrlimit(RLIMIT_FSIZE, &tight);
  ini_.EcrireINI("Hardware", "Com", std::string(200, '9'));
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, old_handler);
  EXPECT_EQ(ReadRaw(), before);
}

// An install tree where only the file was made writable: no temporary file can go beside
// it, so the file is written in place. The write runs as an unprivileged user, for whom
// the folder's permissions hold.
TEST_F(IniFileTest, WritableFileInAReadOnlyFolderIsWrittenInPlace) {
  WriteRaw("[Hardware]\nCom=2\n");
  const QByteArray folder = QFile::encodeName(dir_.path());
  ASSERT_EQ(chmod(QFile::encodeName(path_).constData(), 0666), 0);
  ASSERT_EQ(chmod(folder.constData(), 0555), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (geteuid() == 0 && setuid(65534) != 0) _exit(2);
    ini_.EcrireINI("Hardware", "Com", "7");
    _exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  chmod(folder.constData(), 0700);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(ReadRaw(), "[Hardware]\nCom=7\n");
}
#endif

}  // namespace
}  // namespace kline
