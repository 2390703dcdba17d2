#include "ui/main_window.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <memory>
#include <tuple>
#include <vector>

#include "link/port_device.h"
#include "link/tar_archive.h"
#include "link/testing/scripted_line.h"
#include "ui/pictures.h"
#include "ui/speed_bar.h"
#include "ui/tests/window_rig.h"
#include "ui/trace_window.h"

namespace kline::ui {
namespace {

constexpr const char* kOptions[] = {"Option1", "Option9", "Option7", "Option2"};

// Centres of the runs of columns in rows [top, bottom) of `image` that hold a pixel `ink` says
// is drawn on; runs at most `join` columns apart count as one, so that a number's digits do.
template <class Ink>
std::vector<double> RunCentres(const QImage& image, int top, int bottom, int join, Ink ink) {
  std::vector<std::pair<int, int>> runs;
  for (int x = 0; x < image.width(); ++x) {
    bool drawn = false;
    for (int y = top; y < bottom && !drawn; ++y) drawn = ink(image.pixel(x, y));
    if (!drawn) continue;
    if (!runs.empty() && x - runs.back().second - 1 <= join) {
      runs.back().second = x;
    } else {
      runs.emplace_back(x, x);
    }
  }
  std::vector<double> centres;
  for (const auto& [first, last] : runs) centres.push_back((first + last + 1) / 2.0);
  return centres;
}

class MainWindowTest : public ::testing::Test {
 protected:
  MainWindowTest() { line_.echo = true; }

  void Open(SerialDevice& device, Clock& clock) {
    rig_.reset();
    rig_ = std::make_unique<WindowRig>(device, clock, ini_);
    window_ = rig_->window.get();
    window_->show();
  }
  void Open() { Open(line_, clock_); }

  template <class T>
  T* Find(const QString& name) {
    T* widget = window_->findChild<T*>(name);
    EXPECT_NE(widget, nullptr) << name.toStdString();
    return widget;
  }
  QString Value(int channel) {
    return Find<QLineEdit>(QStringLiteral("Text1(%1)").arg(channel))->text();
  }
  QString CheckedOption() {
    for (const char* name : kOptions) {
      if (Find<QRadioButton>(QString::fromLatin1(name))->isChecked())
        return QString::fromLatin1(name);
    }
    return {};
  }
  void ClickConnect() { Find<QCheckBox>(QStringLiteral("Check2(0)"))->click(); }

  // A 15m ECU that says who it is at ignition and answers every live channel.
  void Script15m() {
    line_.SendOnOpen({0x80, 0x55, 0x0F, 0x5A, 0x03, 0x11, 0x22}, 500);
    for (int request = 0x17; request <= 0x28; ++request) {
      line_.Answer(static_cast<uint8_t>(request),
                   {{0, {static_cast<uint8_t>('A' + request - 0x17)}}});
    }
    // 1250 rpm, 3 ms, 12.5 degrees, 612 mbar, 30 degrees, 30.01 degrees, 12.5 V, -16.
    const std::pair<uint8_t, uint8_t> live[] = {
        {0x01, 0x2E}, {0x02, 0xE0}, {0x03, 0x05}, {0x04, 0xDC}, {0x05, 0x19}, {0x06, 0x80},
        {0x07, 0x55}, {0x08, 0x55}, {0x09, 0xAA}, {0x0A, 0xC8}, {0x0F, 0x70}};
    for (const auto& [request, answer] : live) line_.Answer(request, {{0, {answer}}});
  }

  QTemporaryDir dir_;
  QString ini_ = dir_.filePath(QStringLiteral("kline-diag.ini"));
  VirtualClock clock_;
  testing::ScriptedLine line_{clock_};
  std::unique_ptr<WindowRig> rig_;
  MainWindow* window_ = nullptr;
};

TEST_F(MainWindowTest, FirstStartShowsTheDefaults) {
  Open();
  EXPECT_FALSE(Find<QCheckBox>(QStringLiteral("Check2(0)"))->isChecked());
  for (int i = 0; i < kChannelCount; ++i) {
    EXPECT_TRUE(Find<QCheckBox>(QStringLiteral("Check1(%1)").arg(i))->isChecked()) << i;
    EXPECT_TRUE(Value(i).isEmpty());
  }
  EXPECT_TRUE(Find<QCheckBox>(QStringLiteral("Check3"))->isChecked());
  EXPECT_TRUE(Find<QCheckBox>(QStringLiteral("Check4"))->isChecked());
  // The status line sits under the frames, inside none of them.
  for (QWidget* w = Find<QLabel>(QStringLiteral("Label4")); w; w = w->parentWidget()) {
    EXPECT_EQ(qobject_cast<QGroupBox*>(w), nullptr);
  }
  // The three service menus, disabled until woken, then our own tools and help, always there.
  const QList<QAction*> menus = window_->menuBar()->actions();
  ASSERT_EQ(menus.size(), 5);
  for (QAction* menu : menus) {
    EXPECT_TRUE(menu->isVisible());
    EXPECT_EQ(menu->isEnabled(), menu == menus[3] || menu == menus[4])
        << menu->text().toStdString();
  }
  EXPECT_FALSE(rig_->engine.SessionTimerRunning());
  // Before any speed is written the bar shows its design-time marks every ten segments.
  EXPECT_EQ(window_->Line1()->State(10), SpeedBar::Segment::kDesign);
  EXPECT_EQ(window_->Line1()->State(11), SpeedBar::Segment::kUnlit);
  EXPECT_FALSE(QFile::exists(ini_)) << "loading must not write the settings";
}

TEST_F(MainWindowTest, SettingsFileChoosesPortAndType) {
  const std::tuple<const char*, const char*, const char*, const char*> cases[] = {
      {"3", "2", "3", "Option2"},
      {"", "3", "1", "Option7"},
      {"/dev/ttyUSB0", "4", "/dev/ttyUSB0", "Option9"},
      {"2", "1", "2", "Option1"},
      {"", "5", "1", "Option1"},
      {"", "", "1", "Option1"},
  };
  for (const auto& [com, ecu, port_shown, option] : cases) {
    QFile::remove(ini_);
    const IniFile ini(ini_);
    if (*com) ini.EcrireINI("Hardware", "Com", com);
    if (*ecu) ini.EcrireINI("Hardware", "Ecu", ecu);
    Open();
    EXPECT_EQ(Find<QLineEdit>(QStringLiteral("Text6"))->text().toStdString(), port_shown) << ecu;
    EXPECT_EQ(CheckedOption().toStdString(), option) << "Ecu=" << ecu;
  }
}

TEST_F(MainWindowTest, SessionRunsFromConnectToDisconnect) {
  Script15m();
  Open();
  ClickConnect();
  auto* connect_box = Find<QCheckBox>(QStringLiteral("Check2(0)"));
  EXPECT_TRUE(connect_box->isChecked());
  EXPECT_EQ(connect_box->text().remove(QLatin1Char('&')), QStringLiteral("Disconnect"));
  EXPECT_EQ(window_->Shape1()->FillColour(), kIndicatorGreen);
  EXPECT_FALSE(Find<QLabel>(QStringLiteral("Label4"))->text().isEmpty());
  EXPECT_TRUE(rig_->engine.SessionTimerRunning());
  EXPECT_FALSE(window_->TestsMenu()->isEnabled()) << "not woken yet";
  for (const char* name : kOptions) {
    EXPECT_FALSE(Find<QRadioButton>(QString::fromLatin1(name))->isEnabled()) << name;
    EXPECT_FALSE(Find<QRadioButton>(QString::fromLatin1(name))->toolTip().isEmpty()) << name;
  }

  ASSERT_TRUE(QTest::qWaitFor([&] { return Value(0) == QStringLiteral("1250"); }, 3000));
  EXPECT_TRUE(window_->TestsMenu()->isEnabled());
  EXPECT_TRUE(window_->DiagMenu()->isEnabled());
  EXPECT_FALSE(window_->DebugMenu()->isEnabled());
  EXPECT_EQ(Find<QLabel>(QStringLiteral("Label26"))->text(), QStringLiteral("1250"));
  const char* values[] = {"1250", "3", "12.5", "612", "30", "30", "30.01", "12.5", "-16"};
  for (int i = 0; i < kChannelCount; ++i) EXPECT_EQ(Value(i).toStdString(), values[i]) << i;
  for (int i = 0; i < kSpeedSegments; ++i) {
    EXPECT_EQ(window_->Line1()->State(i),
              i < 12 ? SpeedBar::Segment::kLit : SpeedBar::Segment::kUnlit)
        << "segment " << i;
  }

  ClickConnect();
  EXPECT_FALSE(connect_box->isChecked());
  EXPECT_EQ(connect_box->text().remove(QLatin1Char('&')), QStringLiteral("Connect"));
  EXPECT_EQ(window_->Shape1()->FillColour(), kIndicatorRed);
  EXPECT_FALSE(window_->TestsMenu()->isEnabled());
  EXPECT_FALSE(rig_->engine.SessionTimerRunning());
  EXPECT_TRUE(Find<QLabel>(QStringLiteral("Label4"))->text().isEmpty());
  for (const char* name : kOptions) {
    EXPECT_TRUE(Find<QRadioButton>(QString::fromLatin1(name))->isEnabled()) << name;
  }
}

// The rev counter follows the engine speed; when the ECU stops answering, the readout, the
// bar and the lamp stop saying that all is well; the picture button says what the program is.
TEST_F(MainWindowTest, GaugeReadoutAndLampTellTheTruth) {
  Script15m();
  Open();
  auto* gauge = Find<GaugePicture>(QStringLiteral("Image1"));
  EXPECT_FALSE(gauge->Rpm().has_value());
  EXPECT_EQ(gauge->NeedleFraction(), 0.0);
  ClickConnect();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Value(0) == QStringLiteral("1250"); }, 3000));
  ASSERT_TRUE(gauge->Rpm().has_value());
  EXPECT_DOUBLE_EQ(gauge->NeedleFraction(), 1250.0 / 12000.0);
  auto* readout = Find<QLabel>(QStringLiteral("Label26"));
  EXPECT_TRUE(readout->isEnabled());
  EXPECT_FALSE(window_->Shape1()->Dimmed());
  EXPECT_FALSE(window_->Shape1()->toolTip().isEmpty());

  line_.echo = false;  // one byte where two are awaited: the ECU seems silent
  ASSERT_TRUE(QTest::qWaitFor([&] { return !readout->isEnabled(); }, 5000));
  EXPECT_FALSE(window_->Line1()->isEnabled());
  EXPECT_TRUE(window_->Shape1()->Dimmed());
  EXPECT_EQ(window_->Shape1()->FillColour(), kIndicatorGreen);
  EXPECT_FALSE(gauge->Rpm().has_value());

  ClickConnect();
  EXPECT_FALSE(gauge->Rpm().has_value());

  Find<QToolButton>(QStringLiteral("Command8"))->click();
  auto* about = window_->findChild<QMessageBox*>(QStringLiteral("About"));
  ASSERT_NE(about, nullptr);
  EXPECT_TRUE(about->isVisible());
  EXPECT_TRUE(about->informativeText().contains(
      QStringLiteral("GNU General Public License, version 3 or later")));
  EXPECT_TRUE(about->informativeText().contains(QStringLiteral("/issues")));
  about->close();
}

// A status message belongs to its cause: a recording that starts replaces the earlier
// failure to record, and one that stops says where it was saved, with its rows.
TEST_F(MainWindowTest, RecordingMessagesBelongToTheirCause) {
  Script15m();
  Open();
  ClickConnect();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Value(0) == QStringLiteral("1250"); }, 3000));
  EXPECT_FALSE(window_->StartRecording(dir_.filePath(QStringLiteral("none/rec.csv"))));
  EXPECT_FALSE(window_->StatusText().isEmpty());
  ASSERT_TRUE(window_->StartRecording(dir_.filePath(QStringLiteral("rec1.csv"))));
  EXPECT_TRUE(window_->StatusText().isEmpty()) << window_->StatusText().toStdString();
  window_->StopRecording(QString());
  EXPECT_TRUE(window_->StatusText().startsWith(QStringLiteral("Recording rec1.csv saved: ")))
      << window_->StatusText().toStdString();
}

// The longest sentences the program writes (what the wire showed when the ECU stays silent)
// are read in full at the window's default size: the status line wraps them.
TEST_F(MainWindowTest, LongStatusMessagesAreReadInFull) {
  const std::unique_ptr<SerialDevice> device = NewPortDevice();
  SteadyClock clock;
  Open(*device, clock);
  window_->resize(window_->sizeHint());
  Find<QLineEdit>(QStringLiteral("Text6"))->setText(QStringLiteral("/dev/") + QString(300, 'x'));
  ClickConnect();
  ASSERT_GT(window_->StatusText().size(), 100) << window_->StatusText().toStdString();
  QTest::qWait(50);
  auto* line = Find<QLabel>(QStringLiteral("StatusText"));
  EXPECT_LE(line->heightForWidth(line->width()), line->height())
      << line->width() << " wide for: " << window_->StatusText().toStdString();
  EXPECT_LE(line->geometry().right(), window_->width());
}

// A settings value or a typo that names no port: said so, the box unticked, the file untouched.
// A port that does not open: said so, and the box stays ticked so that the next click is a
// Disconnect. Neither starts the session.
TEST_F(MainWindowTest, PortThatCannotBeUsedIsExplained) {
#ifdef _WIN32
  GTEST_SKIP() << "Linux port names";
#endif
  const std::pair<const char*, const char*> cases[] = {{"1e308", "not a serial port"},
                                                       {"COM1", "not a serial port"},
                                                       {"-3", "not a serial port"},
                                                       {"/dev/kline-no-such-port", "not exist"}};
  const std::unique_ptr<SerialDevice> device = NewPortDevice();
  SteadyClock clock;
  for (const auto& [com, says] : cases) {
    SCOPED_TRACE(com);
    QFile::remove(ini_);
    IniFile(ini_).EcrireINI("Hardware", "Com", com);
    Open(*device, clock);
    ClickConnect();
    EXPECT_TRUE(window_->StatusText().contains(QString::fromLatin1(says)))
        << window_->StatusText().toStdString();
    EXPECT_EQ(IniFile(ini_).LireINI("Hardware", "Com"), com);
    EXPECT_FALSE(rig_->engine.SessionTimerRunning());
    auto* connect_box = Find<QCheckBox>(QStringLiteral("Check2(0)"));
    const bool names_a_port = com[0] == '/';
    EXPECT_EQ(connect_box->isChecked(), names_a_port);
    EXPECT_EQ(connect_box->text().remove(QLatin1Char('&')), QStringLiteral("Connect"));
    if (names_a_port) {
      ClickConnect();
      EXPECT_FALSE(connect_box->isChecked());
    }
  }
}

// A support report written after a session holds its trace, which the trace window opens with
// the gaps counted; a file that is no trace is refused with the line, not shown.
TEST_F(MainWindowTest, SupportReportHoldsTheTraceTheTraceWindowOpens) {
  Script15m();
  Open();
  ClickConnect();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !Value(7).isEmpty(); }, 5000));
  QTest::qWait(300);  // the line monitor's next batch
  const QString report = dir_.filePath(QStringLiteral("report.tar"));
  QString error;
  ASSERT_TRUE(window_->SaveSupportReport(report, &error)) << error.toStdString();
  QFile file(report);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const std::string archive = file.readAll().toStdString();
  std::string missing;
  for (const char* member : {"README.txt", "samples.csv", "status.txt", "identification.txt",
                             "system.txt", "settings.txt"}) {
    EXPECT_TRUE(FindTarMember(archive, member, &missing)) << missing;
  }

  TraceWindow* trace = window_->OpenTrace(report);
  ASSERT_NE(trace, nullptr);
  EXPECT_GT(trace->model()->rowCount(), 20);
  EXPECT_TRUE(trace->counts()->text().startsWith(QStringLiteral("report.tar (ECU type 15m): ")));

  // A request 8 ms after the start of the one before, not after its end: marked and counted.
  const QString early = dir_.filePath(QStringLiteral("early.csv"));
  QFile written(early);
  ASSERT_TRUE(written.open(QIODevice::WriteOnly));
  written.write(
      "time_us,dir,byte,baud,garbled,note\n0,pc,01,7812,0,\n3000,ecu,12,7812,0,\n"
      "8000,pc,02,7812,0,\n");
  written.close();
  trace = window_->OpenTrace(early);
  ASSERT_NE(trace, nullptr);
  EXPECT_TRUE(trace->counts()->text().contains(QStringLiteral("1 request sooner than its pause")));
  const auto cell = [&](int row, int column) {
    return trace->model()->index(row, column).data().toString();
  };
  EXPECT_EQ(cell(2, TraceTableModel::kGap), QStringLiteral("5.000"));
  EXPECT_EQ(cell(2, TraceTableModel::kMark), QStringLiteral("request sooner than its pause"));
  EXPECT_EQ(cell(1, TraceTableModel::kMark), QString());

  const QString bad = dir_.filePath(QStringLiteral("bad.csv"));
  QFile write(bad);
  ASSERT_TRUE(write.open(QIODevice::WriteOnly));
  write.write("time_us,dir,byte,baud,garbled,note\n10,pc,01,0,0,\n");
  write.close();
  QTimer::singleShot(0, [] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) box->accept();
  });
  EXPECT_EQ(window_->OpenTrace(bad), nullptr);
}

// Each number under the speed bar stands under the segment lit last at its thousand, at the
// scales a screen may set, and a speed past a thousand lights the bar past its number.
TEST_F(MainWindowTest, SpeedBarNumbersStandUnderTheirSegments) {
  if (QGuiApplication::platformName() == QStringLiteral("minimal")) {
    GTEST_SKIP() << "the minimal platform draws no text";
  }
  Open();
  SpeedBar* bar = window_->Line1();
  bar->SetLitBelow(SpeedBarLitCount(6200));
  const QPalette& palette = bar->palette();
  const QRgb base = palette.color(QPalette::Base).rgb();
  const auto segment = [&](QRgb pixel) {
    return pixel != base && pixel != palette.color(QPalette::Window).rgb() &&
           pixel != palette.color(QPalette::Mid).rgb();
  };
  // At the screen's scale 1.0 and 1.5, and on a bar given twice its room.
  for (const auto& [grow, scale] : {std::pair{1, 1.0}, {1, 1.5}, {2, 1.0}}) {
    SCOPED_TRACE(std::to_string(grow) + "x room, scale " + std::to_string(scale));
    bar->resize(bar->sizeHint() * grow);
    QImage image(bar->size() * scale, QImage::Format_RGB32);
    image.setDevicePixelRatio(scale);
    bar->render(&image);
    // The segments cross the upper part of the bar, inside the frame; below the last row of the
    // bar's field only the numbers are dark.
    const int row = image.height() / 4;
    const std::vector<double> segments = RunCentres(image, row, row + 1, 0, segment);
    ASSERT_EQ(segments.size(), size_t{kSpeedSegments});
    int field_bottom = 0;
    for (int y = 0; y < image.height(); ++y) {
      if (image.pixel(image.width() / 2, y) == base) field_bottom = y;
    }
    const std::vector<double> numbers =
        RunCentres(image, field_bottom + 1, image.height(), static_cast<int>(bar->pitch() * scale),
                   [](QRgb pixel) { return qGray(pixel) < 100; });
    ASSERT_EQ(numbers.size(), 13u);
    // Within one pixel of the screen, at either scale.
    const double pitch = segments[1] - segments[0];
    EXPECT_NEAR(pitch, bar->pitch() * scale, 0.5);
    EXPECT_EQ(bar->pitch(), 4 * grow);
    EXPECT_NEAR(numbers[0], segments[0] - pitch, 1.0) << "0";
    for (int thousand = 1; thousand <= 12; ++thousand) {
      EXPECT_NEAR(numbers[thousand], segments[thousand * 10 - 1], 1.0) << thousand;
    }
    const int last_lit =
        static_cast<int>(std::count_if(
            segments.begin(), segments.end(),
            [&](double x) { return qGray(image.pixel(static_cast<int>(x), row)) < 100; })) -
        1;
    EXPECT_EQ(last_lit, 61);
    EXPECT_GT(segments[static_cast<size_t>(last_lit)], numbers[6]);
  }
}

// Enlarged, the window's extra room goes to what is read from afar, and a message that wraps
// onto a second line moves nothing above it.
TEST_F(MainWindowTest, ExtraRoomGoesToTheReadoutsAndMessagesMoveNothing) {
  if (QGuiApplication::platformName() == QStringLiteral("minimal")) {
    GTEST_SKIP() << "the minimal platform's fonts have no size to grow";
  }
  Open();
  window_->resize(window_->sizeHint());
  window_->show();
  QTest::qWait(20);
  auto* field = Find<QLineEdit>(QStringLiteral("Text1(0)"));
  auto* figure = Find<QLabel>(QStringLiteral("Label26"));
  auto* info = Find<QPlainTextEdit>(QStringLiteral("Text4"));
  const QRect before_field = field->geometry();
  const int figure_height = figure->height();
  const int info_width = info->width();

  emit rig_->engine.events().Message(QStringLiteral("short"));
  QTest::qWait(20);
  const QRect info_at = info->geometry();
  emit rig_->engine.events().Message(QString(60, u'w') + u' ' + QString(60, u'w'));
  QTest::qWait(20);
  EXPECT_EQ(info->geometry(), info_at) << "a second line of message moved the window's middle";

  window_->resize(window_->sizeHint() * 2);
  QTest::qWait(20);
  EXPECT_GE(field->width(), before_field.width() * 3 / 2);
  EXPECT_GE(figure->height(), figure_height * 3 / 2);
  EXPECT_GE(window_->Line1()->pitch(), 6);
  // The info box takes part of the extra width, not all of it.
  EXPECT_LT(info->width() - info_width, window_->width() / 2);
}

}  // namespace
}  // namespace kline::ui
