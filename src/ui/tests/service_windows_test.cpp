#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <functional>
#include <memory>

#include "engine/mirrors.h"
#include "link/testing/scripted_line.h"
#include "ui/chart_window.h"
#include "ui/fault_window.h"
#include "ui/line_monitor_window.h"
#include "ui/main_window.h"
#include "ui/test_window.h"
#include "ui/tests/window_rig.h"
#include "ui/trace_window.h"

namespace kline::ui {
namespace {

// The Alt letters of a window's menu bar and buttons, or of one menu: each caption has one,
// and no two share it.
void ExpectMnemonics(const QString& where, const QStringList& captions) {
  QString letters;
  for (const QString& caption : captions) {
    const qsizetype mark = caption.indexOf(QLatin1Char('&'));
    ASSERT_GE(mark, 0) << where.toStdString() << ": " << caption.toStdString();
    const QChar letter = caption.at(mark + 1).toLower();
    EXPECT_FALSE(letters.contains(letter)) << where.toStdString() << ": " << caption.toStdString();
    letters += letter;
  }
}

QStringList Captions(QWidget& window) {
  QStringList captions;
  if (auto* main = qobject_cast<QMainWindow*>(&window)) {
    for (const QAction* action : main->menuBar()->actions()) captions << action->text();
  }
  for (const QAbstractButton* button : window.findChildren<QAbstractButton*>()) {
    if (!button->text().isEmpty()) captions << button->text();
  }
  return captions;
}

QStringList LogLines(const ServiceWindow& window) {
  return window.Rtb1()->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// A connected P8 session (woken at connect) whose ECU knows diagnostic mode.
class ServiceWindowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    line_.echo = true;
    const std::pair<uint8_t, uint8_t> answers[] = {
        {0xAA, 0xFF}, {0xFF, 0xFF}, {0x09, 0x50}, {0x0A, 0xC8}};
    for (const auto& [request, answer] : answers) line_.Answer(request, {{0, {answer}}});
    for (int request = 0x17; request <= 0x28; ++request) {
      line_.Answer(static_cast<uint8_t>(request), {{0, {'X'}}});
    }
    rig_ = std::make_unique<WindowRig>(line_, clock_, dir_.filePath(QStringLiteral("k.ini")));
    window_ = rig_->window.get();
    window_->SelectType(EcuType::kP8);
    window_->show();
    window_->findChild<QCheckBox*>(QStringLiteral("Check2(0)"))->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window_->TestsMenu()->isEnabled(); }, 3000));
  }

  // Opens the test window and lets its load step run.
  TestWindow* OpenTests() {
    window_->TestsMenu()->trigger();
    TestWindow* tests = window_->Form1();
    EXPECT_NE(tests, nullptr);
    if (tests != nullptr) {
      EXPECT_TRUE(QTest::qWaitFor([&] { return !LogLines(*tests).isEmpty(); }, 3000));
    }
    return tests;
  }

  QTemporaryDir dir_;
  VirtualClock clock_;
  testing::ScriptedLine line_{clock_};
  std::unique_ptr<WindowRig> rig_;
  MainWindow* window_ = nullptr;
};

TEST_F(ServiceWindowsTest, TestWindowHasThePortUntilItsCloseBox) {
  TestWindow* tests = OpenTests();
  ASSERT_NE(tests, nullptr);
  EXPECT_TRUE(window_->isHidden());
  EXPECT_TRUE(tests->isVisible());
  EXPECT_FALSE(rig_->engine.SessionTimerRunning());
  EXPECT_EQ(LogLines(*tests), QStringList{QStringLiteral("Enter in diagnostic mode OK")});

  // The fuel pump answers at once that it runs, and three seconds later that it is done.
  line_.Script(0x80, {{0, {0x00}}, {3000, {0xFF}}});
  bool enabled_during_test = true;
  QObject::connect(&rig_->engine.events(), &EngineEvents::ServiceLine, tests,
                   [&](ServiceWindowId, const QString& line) {
                     if (line == QStringLiteral("Fuel pump")) {
                       enabled_during_test = tests->Button(3)->isEnabled();
                     }
                   });
  tests->Button(0)->click();
  EXPECT_FALSE(enabled_during_test);
  EXPECT_TRUE(tests->Button(3)->isEnabled());
  EXPECT_EQ(LogLines(*tests).mid(1),
            (QStringList{QStringLiteral("Fuel pump"), QStringLiteral("8000"), QStringLiteral("FF"),
                         QStringLiteral("Test finish")}));
  EXPECT_EQ(tests->Pg1()->value(), 0);
  EXPECT_FALSE(rig_->engine.SessionTimerRunning()) << "a test must not give the port back";
  // Every line is in view as it is appended, not only when a test ends.
  for (int i = 0; i < 60; ++i) tests->AppendLine(QStringLiteral("line %1").arg(i));
  const QScrollBar* bar = tests->Rtb1()->verticalScrollBar();
  EXPECT_GT(bar->maximum(), 0);
  EXPECT_EQ(bar->value(), bar->maximum());

  tests->close();
  EXPECT_EQ(line_.written().back(), 0xFF) << "leaving diagnostic mode";
  EXPECT_TRUE(window_->isVisible());
  EXPECT_TRUE(rig_->engine.SessionTimerRunning());
  EXPECT_EQ(rig_->engine.SessionTimerInterval(), 20);
  EXPECT_TRUE(QTest::qWaitFor([&] { return window_->Form1() == nullptr; }, 1000));

  // "Back" in the menu does what the close box does.
  tests = OpenTests();
  ASSERT_NE(tests, nullptr);
  tests->BackMenu()->trigger();
  EXPECT_TRUE(window_->isVisible());
  EXPECT_TRUE(rig_->engine.SessionTimerRunning());
  EXPECT_TRUE(QTest::qWaitFor([&] { return window_->Form1() == nullptr; }, 1000));
}

TEST_F(ServiceWindowsTest, EcuRefusingDiagnosticModeClosesTheTestWindow) {
  line_.Answer(0xAA, {{0, {0x00}}});
  window_->TestsMenu()->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return window_->Form1() == nullptr; }, 3000));
  EXPECT_TRUE(window_->isVisible());
  EXPECT_TRUE(rig_->engine.SessionTimerRunning());
  EXPECT_TRUE(window_->StatusText().contains(QStringLiteral("diagnostic mode")));
}

// "Clear DTC errors" erases the fault memory: nothing is sent until the user confirms.
TEST_F(ServiceWindowsTest, ClearingTheFaultsIsConfirmedFirst) {
  TestWindow* tests = OpenTests();
  ASSERT_NE(tests, nullptr);
  const size_t written = line_.written().size();
  for (bool confirm : {false, true}) {
    SCOPED_TRACE(confirm);
    tests->Button(kClearFaultsTest)->click();
    auto* ask = tests->findChild<QMessageBox*>(QStringLiteral("ConfirmClear"));
    ASSERT_NE(ask, nullptr);
    EXPECT_EQ(line_.written().size(), written) << "nothing sent before the answer";
    if (confirm) {
      ask->findChild<QPushButton*>(QStringLiteral("Clear"))->click();
    } else {
      ask->button(QMessageBox::Cancel)->click();
    }
    QTest::qWait(10);
  }
  ASSERT_EQ(line_.written().size(), written + 1);
  const ActuatorTestRow& clear = kActuatorTests[kClearFaultsTest];
  EXPECT_TRUE(line_.written().back() == clear.request_a ||
              line_.written().back() == clear.request_b);
}

TEST_F(ServiceWindowsTest, FaultWindowGoesOnBackAndComesBackWithItsLog) {
  window_->DiagMenu()->trigger();
  FaultWindow* faults = window_->Form3();
  ASSERT_NE(faults, nullptr);
  EXPECT_TRUE(window_->isHidden());
  EXPECT_FALSE(rig_->engine.SessionTimerRunning());

  line_.Answer(0x0F, {{0, {0x81}}});
  faults->Button(0)->click();  // Uniram1
  EXPECT_EQ(LogLines(*faults), (QStringList{QStringLiteral("VAE blocked open or closed"),
                                            QStringLiteral("throttle valve position sensor")}));
  // The view beside the log: the byte, its value and every bit, the set ones marked.
  const QTreeWidgetItem* read = faults->findChild<QTreeWidget*>("FaultView")->topLevelItem(0);
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(read->text(1), QStringLiteral("81 = 1000 0001"));
  EXPECT_EQ(read->text(2), QStringLiteral("2 faults"));
  ASSERT_EQ(read->childCount(), kFaultRows);
  EXPECT_EQ(read->child(1)->text(1), QString());
  EXPECT_EQ(read->child(7)->text(1), QStringLiteral("set"));
  // Reads in quick succession join the view together, in the order they came, a byte read
  // again moving to the end.
  line_.Answer(0x10, {{0, {0x00}}});
  faults->Button(1)->click();  // Uniram2
  faults->Button(0)->click();
  QTest::qWait(150);
  auto* view = faults->findChild<QTreeWidget*>("FaultView");
  ASSERT_EQ(view->topLevelItemCount(), 2);
  EXPECT_TRUE(view->topLevelItem(0)->text(0).startsWith(QStringLiteral("Uniram2")));
  EXPECT_TRUE(view->topLevelItem(1)->text(0).startsWith(QStringLiteral("Uniram1")));
  const qsizetype logged = LogLines(*faults).size();
  faults->close();  // close box while the main window is hidden
  EXPECT_TRUE(window_->isVisible());
  EXPECT_TRUE(rig_->engine.SessionTimerRunning());

  window_->DiagMenu()->trigger();
  EXPECT_EQ(window_->Form3(), faults) << "the same window comes back";
  EXPECT_FALSE(rig_->engine.SessionTimerRunning());
  faults->BackMenu()->trigger();
  EXPECT_TRUE(window_->isVisible());
  EXPECT_FALSE(faults->isVisible()) << "not left behind the main window";
  EXPECT_TRUE(rig_->engine.SessionTimerRunning());
  EXPECT_EQ(rig_->engine.SessionTimerInterval(), 20);
  window_->DiagMenu()->trigger();
  EXPECT_TRUE(faults->isVisible());
  EXPECT_EQ(LogLines(*faults).size(), logged) << "its log is kept";

  window_->findChild<QCheckBox*>(QStringLiteral("Check2(0)"))->click();
  EXPECT_FALSE(faults->isVisible());
  EXPECT_FALSE(window_->DiagMenu()->isEnabled());
}

// A re-read replaces the earlier reading; one that fails keeps it below, marked as earlier, and
// the saved report's message, which was about the earlier reading, goes.
TEST_F(ServiceWindowsTest, AFailedReReadSaysSoAndKeepsTheEarlierReading) {
  window_->DiagMenu()->trigger();
  FaultWindow* faults = window_->Form3();
  ASSERT_NE(faults, nullptr);
  auto* view = faults->findChild<QTreeWidget*>("FaultView");
  line_.Answer(0x0F, {{0, {0x81}}});
  faults->Button(0)->click();
  faults->statusBar()->showMessage(QStringLiteral("Report saved to /tmp/r.txt"));
  line_.Answer(0x0F, {});
  faults->findChild<QPushButton*>(QStringLiteral("ReadAll"))->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return view->topLevelItemCount() >= 2; }, 5000));
  QTest::qWait(150);
  EXPECT_TRUE(faults->statusBar()->currentMessage().isEmpty());
  const auto uniram1 = [&](int n) {
    std::vector<const QTreeWidgetItem*> rows;
    for (int i = 0; i < view->topLevelItemCount(); ++i) {
      if (view->topLevelItem(i)->text(0).startsWith(QStringLiteral("Uniram1 "))) {
        rows.push_back(view->topLevelItem(i));
      }
    }
    return rows.size() > static_cast<size_t>(n) ? rows[static_cast<size_t>(n)] : nullptr;
  };
  ASSERT_NE(uniram1(1), nullptr);
  EXPECT_EQ(uniram1(0)->text(1), QStringLiteral("No answer from ECU"));
  EXPECT_TRUE(uniram1(0)->text(2).contains(QStringLiteral("re-read failed")));
  EXPECT_EQ(uniram1(1)->text(1), QStringLiteral("81 = 1000 0001"));
  EXPECT_TRUE(uniram1(1)->text(2).startsWith(QStringLiteral("earlier reading: ")));
  EXPECT_EQ(uniram1(1)->childCount(), kFaultRows);
}

// Every window opens within the screen it is on, however much larger it would like to be (the
// offscreen screen is 800x600, smaller than a 1280x768 laptop at 1.5 scale).
TEST_F(ServiceWindowsTest, EveryWindowOpensWithinTheScreen) {
  if (QGuiApplication::platformName() == QStringLiteral("minimal")) {
    GTEST_SKIP() << "the minimal platform's screen is 240x320";
  }
  window_->DiagMenu()->trigger();
  ASSERT_NE(window_->Form3(), nullptr);
  ChartWindow chart;
  LineMonitorWindow monitor;
  TraceWindow trace(TraceFile{}, QStringLiteral("t.csv"));
  const std::pair<const char*, QWidget*> windows[] = {{"main", window_},
                                                      {"fault", window_->Form3()},
                                                      {"chart", &chart},
                                                      {"line monitor", &monitor},
                                                      {"trace", &trace}};
  for (const auto& [name, widget] : windows) {
    const QSize room = widget->screen()->availableGeometry().size();
    EXPECT_LE(widget->width(), room.width()) << name;
    EXPECT_LE(widget->height(), room.height() - 40) << name;
  }
}

TEST_F(ServiceWindowsTest, EveryWindowIsUsableFromTheKeyboard) {
  ExpectMnemonics(QStringLiteral("main window"), Captions(*window_));
  ExpectMnemonics(QStringLiteral("chart"), Captions(*window_->OpenChart()));
  ExpectMnemonics(QStringLiteral("line monitor"), Captions(*window_->OpenLineMonitor()));
  for (const QAction* title : window_->menuBar()->actions()) {
    if (title->menu() == nullptr) continue;
    QStringList captions;
    for (const QAction* action : title->menu()->actions()) {
      if (!action->isSeparator()) captions << action->text();
    }
    ExpectMnemonics(title->text(), captions);
  }
  // A session starts from the keyboard at the port field, with Connect next.
  EXPECT_EQ(window_->findChild<QLineEdit*>(QStringLiteral("Text6"))->nextInFocusChain(),
            window_->findChild<QCheckBox*>(QStringLiteral("Check2(0)")));

  // Escape in each service window does what its "Back" does: the main window comes back.
  struct Service {
    QAction* menu;
    std::function<ServiceWindow*()> window;
  };
  const Service services[] = {{window_->TestsMenu(), [this] { return window_->Form1(); }},
                              {window_->DiagMenu(), [this] { return window_->Form3(); }}};
  for (const Service& service : services) {
    service.menu->trigger();
    ServiceWindow* shown = service.window();
    ASSERT_NE(shown, nullptr) << service.menu->text().toStdString();
    ExpectMnemonics(shown->windowTitle(), Captions(*shown));
    ASSERT_TRUE(QTest::qWaitForWindowActive(shown));
    QTest::keyClick(shown, Qt::Key_Escape);
    EXPECT_TRUE(QTest::qWaitFor([&] { return window_->isVisible(); }, 1000));
    EXPECT_TRUE(rig_->engine.SessionTimerRunning()) << "the port is given back";
  }

  // F10 takes the keyboard to the menu bar.
  window_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window_));
  EXPECT_EQ(window_->menuBar()->activeAction(), nullptr);
  QTest::keyClick(window_, Qt::Key_F10);
  EXPECT_NE(window_->menuBar()->activeAction(), nullptr);
}

}  // namespace
}  // namespace kline::ui
