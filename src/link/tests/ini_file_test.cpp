#include "link/ini_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <csignal>
#include <random>

namespace kline {
namespace {

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

TEST_F(IniFileTest, ReadingLeavesAMissingFileAloneAndWritingCreatesIt) {
  EXPECT_EQ(ini_.LireINI("Hardware", "Com"), "");
  EXPECT_FALSE(QFileInfo::exists(path_));
  ini_.EcrireINI("Hardware", "Com", "3");
  ini_.EcrireINI("Hardware", "Ecu", "3");
  EXPECT_EQ(ReadRaw(), "[Hardware]\nCom=3\nEcu=3\n");
  EXPECT_EQ(ini_.LireINI("Hardware", "Com"), "3");
}

TEST_F(IniFileTest, NamesAreComparedWithoutCase) {
  WriteRaw("[hardware]\nCOM = 7 \necu=4\n");
  EXPECT_EQ(ini_.LireINI("Hardware", "Com"), "7");
  EXPECT_EQ(ini_.LireINI("HARDWARE", "Ecu"), "4");
  EXPECT_EQ(ini_.LireINI("Other", "Com"), "");
}

TEST_F(IniFileTest, ReplacesInPlaceAndKeepsEverythingElse) {
  WriteRaw(
      "; written by hand\n[Display]\nCom=99\n\n[Hardware]\nEcu=2\r\nCom=1\n; keep me\n\n"
      "[Later]\nx=y\n");
  ini_.EcrireINI("Hardware", "Com", "5");
  ini_.EcrireINI("Hardware", "Extra", "e");
  EXPECT_EQ(ReadRaw(),
            "; written by hand\n[Display]\nCom=99\n\n[Hardware]\nEcu=2\nCom=5\n; keep me\n"
            "Extra=e\n\n[Later]\nx=y\n");
  EXPECT_EQ(ini_.LireINI("Display", "Com"), "99");
}

TEST_F(IniFileTest, AwkwardValuesRoundTrip) {
  const std::string values[] = {"a=b",         "x;y",      "\"quoted\"", "'q'",   " padded ",
                                "caf\xc3\xa9", "\xff\xfe", "",           "\"half"};
  for (const std::string& value : values) {
    ini_.EcrireINI("Hardware", "Com", value);
    EXPECT_EQ(ini_.LireINI("Hardware", "Com"), value);
  }
  ini_.EcrireINI("Hardware", "Com", "two\nlines");
  EXPECT_EQ(ini_.LireINI("Hardware", "Com"), "two lines");
  EXPECT_EQ(ini_.LireINI("Hardware", "lines"), "");
  ini_.EcrireINI("Hardware", "Com", std::string(300, '7'));
  EXPECT_EQ(ini_.LireINI("Hardware", "Com"), std::string(254, '7')) << "cut to 254 characters";
}

TEST_F(IniFileTest, HostileFilesReadWhatTheyCan) {
  std::mt19937 random(7);
  QByteArray binary(1 << 16, '\0');
  for (char& c : binary) c = static_cast<char>(random());
  const QByteArray files[] = {
      binary,
      QByteArray(10 * 1024 * 1024, 'x'),
      QByteArray("[Hardware\nCom=1\n]\n=\n==\n[]\n[Hardware]\n\0Com=2\nEcu\n", 48),
      QByteArray(10 * 1024 * 1024, '\n') + "[Hardware]\nCom=6\n",
  };
  for (const QByteArray& data : files) {
    WriteRaw(data);
    ini_.LireINI("Hardware", "Com");
    ini_.EcrireINI("Hardware", "Ecu", "1");
    EXPECT_EQ(ini_.LireINI("Hardware", "Ecu"), "1");
  }
  EXPECT_EQ(ini_.LireINI("Hardware", "Com"), "6");
}

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
  EXPECT_EQ(ini_.LireINI("Hardware", "Com"), "2");
}

TEST_F(IniFileTest, WriteIntoAFolderThatDoesNotExistYetCreatesIt) {
  IniFile nested(dir_.path() + "/config/kline/kline-diag.ini");
  nested.EcrireINI("Hardware", "Ecu", "4");
  EXPECT_EQ(nested.LireINI("Hardware", "Ecu"), "4");
}

}  // namespace
}  // namespace kline
