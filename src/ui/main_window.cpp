#include "ui/main_window.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QRadioButton>
#include <QShortcut>
#include <QStatusBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <iterator>
#include <utility>

#include "engine/text.h"
#include "link/trace_reader.h"
#include "ui/about_box.h"
#include "ui/chart_window.h"
#include "ui/fault_window.h"
#include "ui/info_frame.h"
#include "ui/line_monitor_window.h"
#include "ui/live_readouts.h"
#include "ui/mnemonics.h"
#include "ui/pictures.h"
#include "ui/port_frame.h"
#include "ui/recording_status.h"
#include "ui/speed_bar.h"
#include "ui/test_window.h"
#include "ui/trace_window.h"

namespace kline::ui {

MainWindow::MainWindow(DiagnosticEngine& engine, const QString& settings_path, QWidget* parent)
    : QMainWindow(parent), engine_(engine), settings_(settings_path), outputs_(engine.events()) {
  setObjectName(QStringLiteral("Form2"));
  readouts_ = new LiveReadouts(engine, NewAboutButton(this), this);
  setWindowTitle(QString::fromUtf8(kMainCaption));

  auto* central = new QWidget(this);
  auto* top = new QHBoxLayout;
  auto* left = new QVBoxLayout;
  auto* upper_left = new QHBoxLayout;
  port_frame_ = new PortFrame(engine, [this] { return Choices(); });
  upper_left->addWidget(port_frame_);
  upper_left->addWidget(BuildEcuType());
  left->addLayout(upper_left);
  // The status line sits under the frames, in none of them.
  status_line_ = new QLabel;
  status_line_->setObjectName(QStringLiteral("Label4"));
  left->addWidget(status_line_);
  info_frame_ = new InfoFrame(engine);
  left->addWidget(info_frame_, 1);
  top->addLayout(left, 1);
  top->addWidget(readouts_->channels());
  auto* whole = new QVBoxLayout(central);
  whole->addLayout(top, 3);
  whole->addWidget(readouts_->speed_row(), 1);
  setCentralWidget(central);
  BuildStatusBar();
  recording_status_ =
      new RecordingStatus(outputs_, {.widget = this,
                                     .type = [this] { return SelectedType(); },
                                     .say = [this](const QString& text) { return Say(text); },
                                     .unsay =
                                         [this](int showing) {
                                           if (showing == showings_) ShowPortMessage(QString());
                                         }});
  BuildMenus();
  // From the keyboard a session starts where the mouse starts it: the port, Connect, the list
  // of ports, the type; the channel boxes come after.
  QWidget* chain[] = {port_frame_->port_field(),
                      port_frame_->connect_box(),
                      port_frame_->port_list(),
                      type_15m_,
                      type_15rc_,
                      type_16m_,
                      type_p8_};
  for (size_t i = 1; i < std::size(chain); ++i) setTabOrder(chain[i - 1], chain[i]);
  port_frame_->port_field()->setFocus();
  FollowEngine();

  LoadSettings();
  base_size_ = sizeHint();
}

// In quarter steps, so that a window dragged wider lays itself out again now and then, not at
// every pixel.
void MainWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  const double fit = std::min(static_cast<double>(width()) / base_size_.width(),
                              static_cast<double>(height()) / base_size_.height());
  const double scale = std::clamp(std::floor(fit * 4) / 4, 1.0, 2.5);
  if (scale == readout_scale_) return;
  readout_scale_ = scale;
  readouts_->Scale(scale);
}

MainWindow::~MainWindow() {
  delete test_window_;
  delete fault_window_;
}

QWidget* MainWindow::BuildEcuType() {
  auto* frame = new QGroupBox(QStringLiteral("ECU Type"));
  auto* grid = new QGridLayout(frame);
  // The type is fixed while connected: the session's wake-up, rate and routines are the
  // connected type's, and another type's requests would reach the ECU mid-connection.
  const auto option = [this](const char* caption, const char* name) {
    auto* button = new QRadioButton(QString::fromUtf8(caption));
    button->setObjectName(QString::fromUtf8(name));
    connect(button, &QRadioButton::toggled, this, [this](bool on) {
      if (on) engine_.SetType(SelectedType());
    });
    return button;
  };
  type_15m_ = option("15m", "Option1");
  type_15rc_ = option("15Rc", "Option9");
  type_16m_ = option("16m", "Option7");
  type_p8_ = option("P8", "Option2");
  type_15m_->setChecked(true);
  grid->addWidget(type_15m_, 0, 0);
  grid->addWidget(type_15rc_, 0, 1);
  grid->addWidget(type_16m_, 1, 0);
  grid->addWidget(type_p8_, 1, 1);
  return frame;
}

void MainWindow::BuildMenus() {
  // The menus keep their first letters; the other captions pick theirs around them.
  tests_menu_ = menuBar()->addAction(QStringLiteral("&Tests"));
  tests_menu_->setObjectName(QStringLiteral("test"));
  connect(tests_menu_, &QAction::triggered, this, [this] { engine_.EnterTests(); });
  diag_menu_ = menuBar()->addAction(QStringLiteral("&Diag"));
  diag_menu_->setObjectName(QStringLiteral("Diag"));
  connect(diag_menu_, &QAction::triggered, this, [this] { engine_.EnterFaultReading(); });
  debug_menu_ = menuBar()->addAction(QStringLiteral("De&bug"));
  debug_menu_->setObjectName(QStringLiteral("debug"));
  debug_menu_->setEnabled(false);

  QMenu* tools = menuBar()->addMenu(QStringLiteral("T&ools"));
  tools->setObjectName(QStringLiteral("tools"));
  tools->addAction(QStringLiteral("Line monitor"), this, &MainWindow::OpenLineMonitor);
  tools->addAction(QStringLiteral("Live chart"), this, &MainWindow::OpenChart);
  tools->addSeparator();
  recording_status_->AddTo(*tools, *statusBar());
  tools->addSeparator();
  tools->addAction(QStringLiteral("Open recording..."), this, [this] {
    const QString path = QFileDialog::getOpenFileName(
        this, QStringLiteral("Open recording"), QString(), QStringLiteral("CSV files (*.csv)"));
    if (!path.isEmpty()) OpenChart()->OpenRecording(path);
  });
  tools->addAction(QStringLiteral("Open trace..."), this, [this] {
    const QString path = QFileDialog::getOpenFileName(
        this, QStringLiteral("Open trace"), QString(),
        QStringLiteral("Traces and support reports (*.csv *.tar);;All files (*)"));
    if (!path.isEmpty()) OpenTrace(path);
  });

  QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
  help->setObjectName(QStringLiteral("help"));
  help->addAction(QStringLiteral("Save support report..."), this, [this] {
    // What leaves the computer is said before anything is written.
    if (QMessageBox::information(this, QStringLiteral("Save support report"),
                                 QString::fromLatin1(kSupportReportSentence),
                                 QMessageBox::Save | QMessageBox::Cancel) != QMessageBox::Save) {
      return;
    }
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save support report"),
                                                      QStringLiteral("kline-support-report.tar"),
                                                      QStringLiteral("Support reports (*.tar)"));
    if (path.isEmpty()) return;
    QString error;
    Say(SaveSupportReport(path, &error) ? QStringLiteral("Support report saved to %1.").arg(path)
                                        : QStringLiteral("Could not save %1: %2").arg(path, error));
  });
  help->addAction(QStringLiteral("About kline-diag"), this, [this] { ShowAbout(this); });
  AddMnemonics(*this);
  // F10 takes the keyboard to the menu bar, as in most desktop programs.
  connect(new QShortcut(Qt::Key_F10, this), &QShortcut::activated, this, [this] {
    for (QAction* menu : menuBar()->actions()) {
      if (!menu->isEnabled()) continue;
      menuBar()->setFocus(Qt::MenuBarFocusReason);
      menuBar()->setActiveAction(menu);
      return;
    }
  });
}

void MainWindow::BuildStatusBar() {
  // Messages wrap onto a second line rather than being cut at the window's edge.
  status_text_ = new QLabel;
  status_text_->setObjectName(QStringLiteral("StatusText"));
  status_text_->setWordWrap(true);
  // Two lines are kept for it from the start: a message that wraps would otherwise take its
  // second line from the window's middle and make everything above jump.
  status_text_->setMinimumHeight(2 * status_text_->fontMetrics().lineSpacing());
  status_text_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  statusBar()->addWidget(status_text_, 1);
}

LineMonitorWindow* MainWindow::OpenLineMonitor() {
  if (!monitor_) {
    monitor_ = new LineMonitorWindow(this);
    connect(&engine_.events(), &EngineEvents::LineEntries, monitor_,
            &LineMonitorWindow::AddEntries);
  }
  monitor_->show();
  monitor_->raise();
  return monitor_;
}

TraceWindow* MainWindow::OpenTrace(const QString& path) {
  std::string error;
  std::optional<TraceFile> trace = LoadTrace(path.toStdString(), &error);
  if (!trace) {
    QMessageBox::warning(this, QStringLiteral("Open trace"), QString::fromStdString(error));
    return nullptr;
  }
  auto* window = new TraceWindow(std::move(*trace), path, this);
  window->show();
  return window;
}

bool MainWindow::SaveSupportReport(const QString& path, QString* error) const {
  SupportContext context;
  context.type = SelectedType();
  context.program = QStringLiteral("kline-diag " KLINE_VERSION);
  context.port_field = port_frame_->port_field()->text();
  return outputs_.SaveSupportReport(path, context, settings_.path(), error);
}

ChartWindow* MainWindow::OpenChart() {
  if (!chart_) {
    chart_ = new ChartWindow(this);
    connect(&engine_.events(), &EngineEvents::SampleTaken, chart_, &ChartWindow::AddSample);
  }
  chart_->show();
  chart_->raise();
  return chart_;
}

void MainWindow::TickConnect() {
  if (!port_frame_->connect_box()->isChecked()) port_frame_->connect_box()->click();
}

QString MainWindow::InfoText() const { return info_frame_->text(); }

bool MainWindow::StartRecording(const QString& path) { return recording_status_->Start(path); }

void MainWindow::StopRecording(const QString& why) { recording_status_->Stop(why); }

SpeedBar* MainWindow::Line1() const { return readouts_->speed_bar(); }

IndicatorShape* MainWindow::Shape1() const { return port_frame_->indicator(); }

void MainWindow::LoadSettings() {
  tests_menu_->setEnabled(false);
  diag_menu_->setEnabled(false);
  const std::string com = settings_.LireINI("Hardware", "Com");
  if (!com.empty()) port_frame_->port_field()->setText(Q(com));
  const std::optional<EcuType> type = EcuTypeFromCode(settings_.LireINI("Hardware", "Ecu"));
  if (type) SelectType(*type);
}

std::optional<EcuType> MainWindow::SelectedType() const {
  for (auto [type, option] : TypeOptions()) {
    if (option->isChecked()) return type;
  }
  return std::nullopt;
}

std::array<std::pair<EcuType, QRadioButton*>, 4> MainWindow::TypeOptions() const {
  return {{{EcuType::k15m, type_15m_},
           {EcuType::k15Rc, type_15rc_},
           {EcuType::k16m, type_16m_},
           {EcuType::kP8, type_p8_}}};
}

void MainWindow::SelectType(EcuType type) {
  for (auto [option, shown] : TypeOptions()) {
    if (option == type) shown->setChecked(true);
  }
}

void MainWindow::SetPortFieldText(const QString& text) { port_frame_->port_field()->setText(text); }

void MainWindow::FollowEngine() {
  EngineEvents* events = &engine_.events();
  connect(events, &EngineEvents::ConnectionChanged, this, &MainWindow::ShowConnection);
  connect(events, &EngineEvents::StepChanged, status_line_, &QLabel::setText);
  connect(events, &EngineEvents::Message, this, &MainWindow::ShowPortMessage);
  connect(events, &EngineEvents::Diagnosed, this,
          [this](ConnectionFinding, const QString& sentence) { ShowPortMessage(sentence); });
  connect(events, &EngineEvents::SampleTaken, recording_status_, &RecordingStatus::Refresh);
  connect(readouts_, &LiveReadouts::StaleChanged, port_frame_->indicator(),
          &IndicatorShape::SetDimmed);
  connect(events, &EngineEvents::PortOwnerChanged, this, &MainWindow::ShowPortOwner);
  // A refusal to a service window that is not open is said here.
  connect(events, &EngineEvents::Refused, this, [this](ServiceWindowId id, const QString& why) {
    if (!(id == ServiceWindowId::kTest ? static_cast<QWidget*>(test_window_)
                                       : static_cast<QWidget*>(fault_window_))) {
      ShowPortMessage(why);
    }
  });
}

// The menus and the type options follow the connection's state.
void MainWindow::ShowConnection(ConnectionState state) {
  const bool connected = IsConnected(state);
  tests_menu_->setEnabled(state == ConnectionState::kWoken);
  diag_menu_->setEnabled(state == ConnectionState::kWoken);
  // The type is fixed while connected: the session's wake-up, rate and routines are the
  // connected type's, and another type's requests would reach the ECU mid-connection.
  for (QRadioButton* option : {type_15m_, type_15rc_, type_16m_, type_p8_}) {
    option->setEnabled(!connected);
    option->setToolTip(connected ? QStringLiteral("The ECU type is fixed while connected: "
                                                  "disconnect to change it.")
                                 : QString());
  }
  if (state == ConnectionState::kClosed || state == ConnectionState::kLost) {
    recording_status_->Clear();
  }
}

// A service window holds the port: the main window steps aside until it is given back.
void MainWindow::ShowPortOwner(PortOwner owner) {
  holder_ = owner;
  if (closing_) return;
  if (owner == PortOwner::kSession) {
    show();
    raise();
    activateWindow();
    return;
  }
  hide();
  ServiceWindow* shown = nullptr;
  if (owner == PortOwner::kTestWindow) {
    delete test_window_;
    test_window_ = new TestWindow(engine_);
    shown = test_window_;
  } else {
    if (!fault_window_) fault_window_ = new FaultWindow(engine_, *this);
    shown = fault_window_;
  }
  shown->show();
  shown->raise();
  shown->activateWindow();
}

void MainWindow::ShowPortMessage(const QString& text) {
  ++showings_;
  status_text_->setText(text);
  statusBar()->setToolTip(text);
}

int MainWindow::Say(const QString& text) {
  outputs_.Note(text);
  ShowPortMessage(text);
  return showings_;
}

QString MainWindow::StatusText() const { return status_text_->text(); }

PanelChoices MainWindow::Choices() const {
  PanelChoices choices;
  choices.port_field = port_frame_->port_field()->text();
  choices.type = SelectedType();
  choices.channels = readouts_->Ticked();
  choices.ecu_data = info_frame_->EcuDataTicked();
  choices.calibration = info_frame_->CalibrationTicked();
  return choices;
}

TestWindow* MainWindow::Form1() const { return test_window_; }

FaultWindow* MainWindow::Form3() const { return fault_window_; }

void MainWindow::closeEvent(QCloseEvent* event) {
  // The ECU may be in diagnostic mode: the window stays until the engine has taken it out,
  // which may mean waiting seconds for an answer still on its way, and says so.
  if (holder_ == PortOwner::kTestWindow && !engine_finished_) {
    if (!ending_) {
      ending_ = true;
      const QString line =
          QString::fromUtf8(kLeavingDiagnosticModeLine.data(),
                            static_cast<qsizetype>(kLeavingDiagnosticModeLine.size()));
      Say(line);
      if (test_window_) test_window_->statusBar()->showMessage(line);
      connect(&engine_, &DiagnosticEngine::Finished, this, [this] {
        engine_finished_ = true;
        close();
        QCoreApplication::quit();
      });
      engine_.RequestStop();
    }
    event->ignore();
    return;
  }
  closing_ = true;
  // The engine's routine ends at its next pause; the ECU then leaves diagnostic mode if it
  // may be in it, and the port closes.
  engine_.RequestStop();
  recording_status_->Stop(QString());
  delete test_window_;
  delete fault_window_;
  event->accept();
}

}  // namespace kline::ui
