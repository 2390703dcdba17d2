#include "ui/main_window.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QStatusBar>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <iterator>
#include <utility>

#include "engine/text.h"
#include "link/port_list.h"
#include "link/port_name.h"
#include "link/trace_reader.h"
#include "ui/chart_window.h"
#include "ui/fault_window.h"
#include "ui/line_monitor_window.h"
#include "ui/live_readouts.h"
#include "ui/mnemonics.h"
#include "ui/pictures.h"
#include "ui/speed_bar.h"
#include "ui/test_window.h"
#include "ui/trace_window.h"

namespace kline::ui {

namespace {

constexpr int kStatusRefreshMs = 1000;

}  // namespace

MainWindow::MainWindow(DiagnosticEngine& engine, const QString& settings_path, QWidget* parent)
    : QMainWindow(parent), engine_(engine), settings_(settings_path), outputs_(engine.events()) {
  setObjectName(QStringLiteral("Form2"));
  readouts_ = new LiveReadouts(engine, BuildAboutButton(), this);
  setWindowTitle(QString::fromUtf8(kMainCaption));

  auto* central = new QWidget(this);
  auto* top = new QHBoxLayout;
  auto* left = new QVBoxLayout;
  auto* upper_left = new QHBoxLayout;
  upper_left->addWidget(BuildComPort());
  upper_left->addWidget(BuildEcuType());
  left->addLayout(upper_left);
  // The status line sits under the frames, in none of them.
  status_line_ = new QLabel;
  status_line_->setObjectName(QStringLiteral("Label4"));
  left->addWidget(status_line_);
  left->addWidget(BuildEcuInfo(), 1);
  top->addLayout(left, 1);
  top->addWidget(readouts_->channels());
  auto* whole = new QVBoxLayout(central);
  whole->addLayout(top, 3);
  whole->addWidget(readouts_->speed_row(), 1);
  setCentralWidget(central);
  BuildMenus();
  BuildStatusBar();
  // From the keyboard a session starts where the mouse starts it: the port, Connect, the list
  // of ports, the type; the channel boxes come after.
  QWidget* chain[] = {
      port_field_, connect_box_, findChild<QToolButton*>(QStringLiteral("PortList")),
      type_15m_,   type_15rc_,   type_16m_,
      type_p8_};
  for (size_t i = 1; i < std::size(chain); ++i) setTabOrder(chain[i - 1], chain[i]);
  port_field_->setFocus();
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

QWidget* MainWindow::BuildComPort() {
  auto* frame = new QGroupBox(QStringLiteral("Com Port"));
  auto* grid = new QGridLayout(frame);
  connect_box_ = new QCheckBox(QStringLiteral("Connect"));
  connect_box_->setObjectName(QStringLiteral("Check2(0)"));
  connect(connect_box_, &QCheckBox::clicked, this, [this](bool ticked) {
    if (ticked) {
      engine_.Connect(Choices());
    } else {
      engine_.Disconnect();
    }
  });
  indicator_ = new IndicatorShape;
  indicator_->setObjectName(QStringLiteral("Shape1"));
  indicator_->setToolTip(
      QStringLiteral("Green: the port is open; faded while the ECU does not answer. Red: "
                     "disconnected, or the cable was pulled. Grey: not connected yet."));
  auto* label1 = new QLabel(QStringLiteral("Com"));
  label1->setObjectName(QStringLiteral("Label1"));
  port_field_ = new QLineEdit(QStringLiteral("1"));
  port_field_->setObjectName(QStringLiteral("Text6"));
  port_field_->setToolTip(
      QStringLiteral("Port number, or %1").arg(QString::fromStdString(OtherPortNames())));
  port_field_->setMinimumWidth(110);
  connect(port_field_, &QLineEdit::textChanged, this,
          [this](const QString& text) { engine_.SetPortField(text); });
  label1->setBuddy(port_field_);

  grid->addWidget(connect_box_, 0, 0, 1, 2);
  grid->addWidget(indicator_, 0, 2, Qt::AlignRight);
  grid->addWidget(label1, 1, 0);
  grid->addWidget(port_field_, 1, 1);
  grid->addWidget(BuildPortButton(), 1, 2);
  return frame;
}

// The ports the system has, listed afresh each time the list opens, and the two checks of
// the cable that need the port to themselves.
QWidget* MainWindow::BuildPortButton() {
  auto* button = new QToolButton;
  button->setObjectName(QStringLiteral("PortList"));
  button->setToolTip(QStringLiteral("Serial ports of this computer, and cable checks"));
  button->setPopupMode(QToolButton::InstantPopup);
  button->setArrowType(Qt::DownArrow);
  button->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; }"));
  auto* menu = new QMenu(button);
  connect(menu, &QMenu::aboutToShow, this, [this, menu] {
    menu->clear();
    const std::vector<PortChoice> ports = ListPorts();
    for (const PortChoice& port : ports) {
      const QString field = QString::fromStdString(port.field);
      menu->addAction(QString::fromStdString(port.label), this,
                      [this, field] { port_field_->setText(field); });
    }
    if (ports.empty())
      menu->addAction(QStringLiteral("(no serial ports found)"))->setEnabled(false);
    menu->addSeparator();
    const bool free = !connect_box_->isChecked();
    QAction* check = menu->addAction(QStringLiteral("Check cable"), this,
                                     [this] { engine_.CheckCable(port_field_->text()); });
    check->setEnabled(free);
    QAction* find = menu->addAction(QStringLiteral("Find interface"), this, [this, ports] {
      QStringList fields;
      for (const PortChoice& port : ports) fields << QString::fromStdString(port.field);
      engine_.FindInterface(fields);
    });
    find->setEnabled(free);
    AddMnemonics(*menu);
  });
  button->setMenu(menu);
  return button;
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

QWidget* MainWindow::BuildEcuInfo() {
  auto* box = new QWidget;
  auto* column = new QVBoxLayout(box);
  column->setContentsMargins(0, 0, 0, 0);
  auto* frame = new QGroupBox(QStringLiteral("ECU Info"));
  auto* inside = new QVBoxLayout(frame);
  info_box_ = new QPlainTextEdit;
  info_box_->setObjectName(QStringLiteral("Text4"));
  info_box_->setReadOnly(true);
  info_box_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  info_box_->setMinimumSize(300, 90);
  inside->addWidget(info_box_);
  column->addWidget(frame, 1);

  ecu_data_box_ = new QCheckBox(QStringLiteral("Ecu data"));
  ecu_data_box_->setObjectName(QStringLiteral("Check3"));
  ecu_data_box_->setChecked(true);
  connect(ecu_data_box_, &QCheckBox::clicked, this,
          [this](bool ticked) { engine_.SetEcuData(ticked); });
  calibration_box_ = new QCheckBox(QStringLiteral("Calibration"));
  calibration_box_->setObjectName(QStringLiteral("Check4"));
  calibration_box_->setChecked(true);
  connect(calibration_box_, &QCheckBox::clicked, this,
          [this](bool ticked) { engine_.SetCalibration(ticked); });
  auto* command6 = new QPushButton(QStringLiteral("ecu info"));
  command6->setObjectName(QStringLiteral("Command6"));
  connect(command6, &QPushButton::clicked, this, [this] { engine_.ReadEcuInfo(); });
  auto* command7 = new QPushButton(QStringLiteral("calibration"));
  command7->setObjectName(QStringLiteral("Command7"));
  connect(command7, &QPushButton::clicked, this, [this] { engine_.ReadCalibration(); });

  auto* row = new QHBoxLayout;
  row->addWidget(ecu_data_box_);
  row->addWidget(calibration_box_);
  row->addStretch(1);
  row->addWidget(command6);
  row->addWidget(command7);
  column->addLayout(row);
  return box;
}

QToolButton* MainWindow::BuildAboutButton() {
  auto* button = new QToolButton;
  button->setObjectName(QStringLiteral("Command8"));
  button->setIcon(style()->standardIcon(QStyle::SP_MessageBoxInformation));
  button->setIconSize(QSize(40, 40));
  button->setAutoRaise(true);
  button->setToolTip(QStringLiteral("About kline-diag"));
  connect(button, &QToolButton::clicked, this, &MainWindow::ShowAbout);
  return button;
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
  record_ = tools->addAction(QStringLiteral("Record..."), this, [this] {
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Record live data"),
                                                      QStringLiteral("kline-recording.csv"),
                                                      QStringLiteral("CSV files (*.csv)"));
    if (!path.isEmpty()) StartRecording(path);
  });
  stop_recording_ = tools->addAction(QStringLiteral("Stop recording"), this,
                                     [this] { StopRecording(QString()); });
  stop_recording_->setEnabled(false);
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
  help->addAction(QStringLiteral("About kline-diag"), this, &MainWindow::ShowAbout);
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
  rate_ = new QLabel;
  rate_->setObjectName(QStringLiteral("PollRate"));
  // Messages wrap onto a second line rather than being cut at the window's edge.
  status_text_ = new QLabel;
  status_text_->setObjectName(QStringLiteral("StatusText"));
  status_text_->setWordWrap(true);
  // Two lines are kept for it from the start: a message that wraps would otherwise take its
  // second line from the window's middle and make everything above jump.
  status_text_->setMinimumHeight(2 * status_text_->fontMetrics().lineSpacing());
  status_text_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  statusBar()->addWidget(status_text_, 1);
  statusBar()->addPermanentWidget(rate_);
  recording_ = new QLabel;
  recording_->setObjectName(QStringLiteral("Recording"));
  statusBar()->addPermanentWidget(recording_);
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
  context.port_field = port_field_->text();
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
  if (!connect_box_->isChecked()) connect_box_->click();
}

QString MainWindow::InfoText() const { return info_box_->toPlainText(); }

bool MainWindow::StartRecording(const QString& path) {
  if (!outputs_.StartRecording(path, SelectedType())) {
    recording_problem_ = outputs_.recorder().Error();
    Say(recording_problem_);
    return false;
  }
  // A recording that starts ends what an earlier failure to record said.
  if (!recording_problem_.isEmpty() && StatusText() == recording_problem_) {
    ShowPortMessage(QString());
  }
  recording_problem_.clear();
  record_->setEnabled(false);
  stop_recording_->setEnabled(true);
  ShowRecording();
  return true;
}

// The line beside the status goes with the recording: the status says where it was saved.
void MainWindow::StopRecording(const QString& why) {
  const QString saved = outputs_.StopRecording();
  record_->setEnabled(true);
  stop_recording_->setEnabled(false);
  recording_->clear();
  const QString said = why.isEmpty() || saved.isEmpty() ? why + saved : why + u' ' + saved;
  if (!said.isEmpty()) Say(said);
}

void MainWindow::ShowRecording() {
  const CsvRecorder& recorder = outputs_.recorder();
  const double seconds = recorder.ElapsedSeconds();
  recording_->setText(QStringLiteral("Recording %1: %2 rows, %3:%4")
                          .arg(QFileInfo(recorder.FileName()).fileName())
                          .arg(recorder.RowsWritten())
                          .arg(static_cast<int>(seconds) / 60)
                          .arg(static_cast<int>(seconds) % 60, 2, 10, QLatin1Char('0')));
}

// A new text lays the status bar out again and repaints it: once a second is enough for
// numbers that are read, not watched.
void MainWindow::ShowRates() {
  if (status_shown_.isValid() && status_shown_.elapsed() < kStatusRefreshMs) return;
  status_shown_.start();
  const PollRate& rate = outputs_.poll_rate();
  rate_->setText(QStringLiteral("%1 cycles/s, %2 requests/s")
                     .arg(rate.CyclesPerSecond(), 0, 'f', 1)
                     .arg(rate.RequestsPerSecond(), 0, 'f', 1));
  if (outputs_.recorder().IsRecording()) ShowRecording();
}

SpeedBar* MainWindow::Line1() const { return readouts_->speed_bar(); }

void MainWindow::LoadSettings() {
  tests_menu_->setEnabled(false);
  diag_menu_->setEnabled(false);
  const std::string com = settings_.LireINI("Hardware", "Com");
  if (!com.empty()) port_field_->setText(Q(com));
  const std::optional<EcuType> type = EcuTypeFromCode(settings_.LireINI("Hardware", "Ecu"));
  if (type) SelectType(*type);
}

std::optional<EcuType> MainWindow::SelectedType() const {
  if (type_15m_->isChecked()) return EcuType::k15m;
  if (type_15rc_->isChecked()) return EcuType::k15Rc;
  if (type_16m_->isChecked()) return EcuType::k16m;
  if (type_p8_->isChecked()) return EcuType::kP8;
  return std::nullopt;
}

void MainWindow::SelectType(EcuType type) {
  switch (type) {
    case EcuType::k15m:
      type_15m_->setChecked(true);
      return;
    case EcuType::k15Rc:
      type_15rc_->setChecked(true);
      return;
    case EcuType::k16m:
      type_16m_->setChecked(true);
      return;
    case EcuType::kP8:
      type_p8_->setChecked(true);
      return;
  }
}

void MainWindow::SetPortFieldText(const QString& text) { port_field_->setText(text); }

void MainWindow::FollowEngine() {
  EngineEvents* events = &engine_.events();
  connect(events, &EngineEvents::ConnectionChanged, this, &MainWindow::ShowConnection);
  connect(events, &EngineEvents::IdentificationChanged, this,
          [this](const EcuIdentification&, const QStringList& lines) {
            QString text;
            for (const QString& line : lines) text += line + u'\n';
            info_box_->setPlainText(text);
            info_box_->moveCursor(QTextCursor::End);
            info_box_->ensureCursorVisible();
          });
  connect(events, &EngineEvents::StepChanged, status_line_, &QLabel::setText);
  connect(events, &EngineEvents::Message, this, &MainWindow::ShowPortMessage);
  connect(events, &EngineEvents::Diagnosed, this,
          [this](ConnectionFinding, const QString& sentence) { ShowPortMessage(sentence); });
  connect(events, &EngineEvents::SampleTaken, this, &MainWindow::ShowRates);
  connect(&outputs_, &SessionOutputs::RecordingEnded, this, &MainWindow::StopRecording);
  connect(readouts_, &LiveReadouts::StaleChanged, indicator_, &IndicatorShape::SetDimmed);
  connect(events, &EngineEvents::InterfaceFound, this, [this](const QString& field) {
    if (!field.isEmpty()) port_field_->setText(field);
  });
  connect(events, &EngineEvents::PortOwnerChanged, this, &MainWindow::ShowPortOwner);
  // A refusal to a service window that is not open is said here.
  connect(events, &EngineEvents::Refused, this, [this](ServiceWindowId id, const QString& why) {
    if (!(id == ServiceWindowId::kTest ? static_cast<QWidget*>(test_window_)
                                       : static_cast<QWidget*>(fault_window_))) {
      ShowPortMessage(why);
    }
  });
}

// The box, its caption, the lamp and the menus each follow the connection's state.
void MainWindow::ShowConnection(ConnectionState state) {
  const bool connected = IsConnected(state);
  if (state != ConnectionState::kNotOpened) connect_box_->setChecked(connected);
  if (connected || state == ConnectionState::kClosed || state == ConnectionState::kLost) {
    connect_box_->setText(KeepMnemonic(connect_box_->text(), connected
                                                                 ? QStringLiteral("Disconnect")
                                                                 : QStringLiteral("Connect")));
    indicator_->SetFillColour(connected ? kIndicatorGreen : kIndicatorRed);
  }
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
    rate_->clear();
    status_shown_.invalidate();
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
  status_text_->setText(text);
  statusBar()->setToolTip(text);
}

void MainWindow::Say(const QString& text) {
  outputs_.Note(text);
  ShowPortMessage(text);
}

QString MainWindow::StatusText() const { return status_text_->text(); }

PanelChoices MainWindow::Choices() const {
  PanelChoices choices;
  choices.port_field = port_field_->text();
  choices.type = SelectedType();
  choices.channels = readouts_->Ticked();
  choices.ecu_data = ecu_data_box_->isChecked();
  choices.calibration = calibration_box_->isChecked();
  return choices;
}

TestWindow* MainWindow::Form1() const { return test_window_; }

FaultWindow* MainWindow::Form3() const { return fault_window_; }

// The project has no donation page: the button says what the program is, its licence, and
// where to report a problem.
void MainWindow::ShowAbout() {
  auto* about = new QMessageBox(QMessageBox::Information, QStringLiteral("About kline-diag"),
                                QStringLiteral("kline-diag %1").arg(QStringLiteral(KLINE_VERSION)),
                                QMessageBox::Close, this);
  about->setObjectName(QStringLiteral("About"));
  about->setAttribute(Qt::WA_DeleteOnClose);
  about->setInformativeText(
      QStringLiteral(
          "Diagnostics for 15m, 15Rc, 16m and P8 engine control units over a K-line cable.\n\n"
          "kline-diag is free software under the GNU General Public License, version 3 or "
          "later: anyone may use, share and change it under its terms. It comes with no "
          "warranty.\n\n"
          "To report a problem, go to %1, say what you did and what you saw, and attach a "
          "support report (Help, Save support report...).")
          .arg(QStringLiteral(KLINE_ISSUES_URL)));
  about->open();
}

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
  StopRecording(QString());
  delete test_window_;
  delete fault_window_;
  event->accept();
}

}  // namespace kline::ui
