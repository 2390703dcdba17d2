#include "sim/pty_ecu_server.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "link/qt_serial_device.h"
#include "sim/tests/pc_side.h"

namespace kline::sim {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

TEST(PtyEcuServer, ServesTheWholeConversationToARealPort) {
  // The real serial port code talking to the server through the pseudo-terminal, in real
  // time: the slow actuator test is made quick.
  Profile profile = BuiltinProfile(EcuType::k15m);
  for (auto& [request, test] : profile.tests) test.delay_ms = std::min(test.delay_ms, 300);
  PtyEcuServer server(profile, {100, "", 120});
  std::string error;
  ASSERT_TRUE(server.Start(&error)) << error;
  QtSerialDevice device;
  SteadyClock clock;
  PcSide pc(device, clock);
  pc.port().Open(server.slave_path());
  ASSERT_TRUE(pc.port().IsOpen()) << pc.port().OpenProblem();
  ASSERT_TRUE(pc.port().WaitForCountTimed(7, 2000, PollPause::k3ms));
  clock.SleepMs(100);
  EXPECT_THAT(pc.port().ReadAll(), ElementsAre(0x80, 0x55, 0x0F, 0x5A, 0x03, 0x11, 0x22));
  pc.SendWakeUp();
  EXPECT_THAT(pc.Ask(0x17, 2, 100), ElementsAre(0x17));  // still at 1200
  pc.port().SetBaudRate(7812);
  EXPECT_THAT(pc.Ask(0x17), ElementsAre(0x17, 'M'));
  EXPECT_THAT(pc.Ask(0xAA), ElementsAre(0xAA, 0xFF));
  EXPECT_THAT(pc.Ask(0x87), ElementsAre(0x87, 0x00));
  EXPECT_TRUE(pc.port().WaitForCountTimed(1, 1000, PollPause::k3ms));
  EXPECT_THAT(pc.port().ReadAll(), ElementsAre(0xEE));
  EXPECT_THAT(pc.Ask(0xFF), ElementsAre(0xFF, 0xFF));

  // The port closed and opened again: every opening is a fresh key-on, identification first.
  pc.port().Close();
  clock.SleepMs(50);
  EXPECT_FALSE(server.PcPortOpen());
  pc.port().Open(server.slave_path());
  ASSERT_TRUE(pc.port().IsOpen());
  EXPECT_TRUE(pc.port().WaitForCountTimed(7, 2000, PollPause::k3ms));
  EXPECT_TRUE(server.PcPortOpen());
  clock.SleepMs(100);
  pc.SendWakeUp();
  pc.port().SetBaudRate(7812);
  EXPECT_THAT(pc.Ask(0x17), ElementsAre(0x17, 'M'));

  // A late answer needs the server to wake up by itself.
  server.InjectFault(FaultKind::kLateAnswer, 100);
  pc.port().WriteByte(0x17);
  EXPECT_THAT(pc.ReadAfter(50), ElementsAre(0x17));
  EXPECT_THAT(pc.ReadAfter(150), ElementsAre('M'));
}

TEST(PtyEcuServer, CommandsAnswerWithOneLine) {
  PtyEcuServer server(BuiltinProfile(EcuType::k15m), {-1, "", 120});
  ASSERT_TRUE(server.Start(nullptr));
  bool quit = false;
  EXPECT_THAT(server.Execute("status", &quit), StartsWith("ok off"));
  EXPECT_EQ(server.Execute("ignition on", &quit), "ok ignition on");
  EXPECT_THAT(server.Execute("status", &quit), StartsWith("ok waiting for wake-up"));
  EXPECT_EQ(server.Execute("set 17 41", &quit), "ok request 17 41 fixed");
  EXPECT_EQ(server.Execute("fault cable", &quit), "ok fault cable 0");
  EXPECT_EQ(server.WithModel([](LineModel& model) { return model.ecu().type(); }), EcuType::k15m);
  EXPECT_THAT(server.Execute("fault loud", &quit), StartsWith("error"));
  EXPECT_FALSE(quit);
  EXPECT_EQ(server.Execute("quit", &quit), "ok bye");
  EXPECT_TRUE(quit);
}

#ifdef KLINE_SIM_PATH
// The program itself: path first, commands answered, a clean end three ways.
TEST(KlineSim, PrintsItsPathServesAndEndsCleanly) {
  enum class End { kSignal, kEndOfInput, kQuit };
  for (const End end : {End::kSignal, End::kEndOfInput, End::kQuit}) {
    QTemporaryDir dir;
    const QString trace = dir.filePath("trace.csv");
    QProcess sim;
    sim.start(KLINE_SIM_PATH, {"--type", "16m", "--ignition-delay", "50", "--trace", trace});
    ASSERT_TRUE(sim.waitForStarted(5000));
    ASSERT_TRUE(sim.waitForReadyRead(5000));
    const std::string path = sim.readLine().trimmed().toStdString();
    EXPECT_THAT(path, StartsWith("/dev/"));

    QtSerialDevice device;
    SteadyClock clock;
    PcSide pc(device, clock);
    pc.port().Open(path);
    ASSERT_TRUE(pc.port().IsOpen());
    EXPECT_TRUE(pc.port().WaitForCountTimed(7, 2000, PollPause::k3ms));
    sim.write("status\n");
    ASSERT_TRUE(sim.waitForReadyRead(5000));
    EXPECT_THAT(sim.readLine().toStdString(), StartsWith("ok waiting for wake-up"));
    pc.port().Close();

    switch (end) {
      case End::kSignal:
        kill(static_cast<pid_t>(sim.processId()), SIGTERM);
        break;
      case End::kEndOfInput:
        sim.closeWriteChannel();
        break;
      case End::kQuit:
        sim.write("quit\n");
        break;
    }
    ASSERT_TRUE(sim.waitForFinished(5000));
    EXPECT_EQ(sim.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(sim.exitCode(), 0);
    QFile file(trace);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const std::string csv = file.readAll().toStdString();
    EXPECT_THAT(csv, StartsWith(kTraceCsvHeader));
    EXPECT_THAT(csv, HasSubstr(",ecu,80,1200,0,"));
  }
}
#endif

}  // namespace
}  // namespace kline::sim
