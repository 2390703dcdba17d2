#include "link/qt_serial_device.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>

#include "link/clock.h"
#include "link/kline_port.h"
#include "link/pty.h"

namespace kline {
namespace {

// Reads from the master whatever has come through, waiting up to `ms` for `count` bytes.
Bytes ReadMaster(int fd, size_t count, int ms = 1000) {
  Bytes out;
  SteadyClock clock;
  const int64_t end = clock.NowMs() + ms;
  while (out.size() < count && clock.NowMs() < end) {
    uint8_t buffer[512];
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n > 0)
      out.insert(out.end(), buffer, buffer + n);
    else
      clock.SleepMs(1);
  }
  return out;
}

class QtSerialDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty_.ok());
    port_.Open(pty_.slave_path());
    ASSERT_TRUE(port_.IsOpen()) << port_.OpenProblem();
  }
  void WriteMaster(const Bytes& bytes) {
    ASSERT_EQ(write(pty_.master(), bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }

  PseudoTerminal pty_;
  QtSerialDevice device_;
  SteadyClock clock_;
  KLinePort port_{device_, clock_};
};

TEST_F(QtSerialDeviceTest, EveryByteValueCrossesBothWaysUnchanged) {
  Bytes all(256);
  for (int i = 0; i < 256; ++i) all[i] = static_cast<uint8_t>(i);
  for (uint8_t b : all) port_.WriteByte(b);
  EXPECT_EQ(ReadMaster(pty_.master(), 256), all);

  WriteMaster(all);
  EXPECT_TRUE(port_.WaitForCountTimed(256, 2000, PollPause::k3ms));
  EXPECT_EQ(port_.ReadAll(), all);
}

TEST_F(QtSerialDeviceTest, CountIsCurrentWithoutAnEventLoop) {
  EXPECT_FALSE(port_.LastEventWasReceive());
  WriteMaster({0x80, 0x55, 0x0F});
  EXPECT_TRUE(port_.WaitForCountTimed(3, 1000, PollPause::k3ms));
  EXPECT_EQ(port_.PendingCount(), 3);
  EXPECT_TRUE(port_.LastEventWasReceive());
  port_.Flush();
  EXPECT_EQ(port_.PendingCount(), 0);
  EXPECT_TRUE(port_.LastEventWasReceive()) << "the last event stays a receive";
}

// Reopening at 1200 is shown by the simulator's server test, which reads the rate as well.
TEST_F(QtSerialDeviceTest, RateSwitchIsSeenFromTheMaster) {
  EXPECT_EQ(PtyBaudRate(pty_.master()), 1200);
  port_.SetBaudRate(kWorkingBaud);
  EXPECT_EQ(PtyBaudRate(pty_.master()), 7812);
  EXPECT_EQ(port_.LastError().number, 0);
  EXPECT_EQ(device_.ReadLineSettings(), (LineSettings{7812, 8, Parity::kNone, 1}));
}

TEST_F(QtSerialDeviceTest, VanishedFarSideEndsWaitsAndIsReported) {
  pty_.CloseMaster();
  const int64_t start = clock_.NowMs();
  EXPECT_FALSE(port_.WaitForCountTimed(2, 2000, PollPause::k3ms));
  EXPECT_LT(clock_.NowMs() - start, 2000);
  port_.WriteByte(0x01);
  EXPECT_TRUE(port_.WasLost());
  EXPECT_FALSE(port_.IsOpen());
  EXPECT_TRUE(port_.ReadAll().empty());
}

// What is plainly not a serial port is named for what it is, not "could not be opened" or a
// permission problem.
TEST(QtSerialDeviceOpenTest, PathsThatAreNoPortSayWhatTheyAre) {
  const std::pair<std::string, const char*> cases[] = {
      {"/dev/null", "is a device but not a serial port"},
      {"/tmp", "is a folder, not a serial port"},
      {"/etc/passwd", "is an ordinary file, not a serial port"},
      {"/dev/kline-no-such-port", "does not exist"},
      {"/dev/" + std::string(100000, 'x'), "100005 characters long"},
  };
  for (const auto& [path, says] : cases) {
    SCOPED_TRACE(path.substr(0, 40));
    QtSerialDevice device;
    SteadyClock clock;
    KLinePort port(device, clock);
    port.Open(path);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_NE(port.OpenProblem().find(says), std::string::npos)
        << port.OpenProblem().substr(0, 200);
  }
}

}  // namespace
}  // namespace kline
