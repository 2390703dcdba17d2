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

#include "engine/connection_watch.h"
#include "engine/interface_finder.h"
#include "engine/line_batcher.h"
#include "engine/mirrors.h"
#include "engine/text.h"
#include "link/port_list.h"
#include "link/port_name.h"
#include "link/trace_reader.h"
#include "ui/chart_window.h"
#include "ui/fault_window.h"
#include "ui/line_monitor_window.h"
#include "ui/mnemonics.h"
#include "ui/pictures.h"
#include "ui/speed_bar.h"
#include "ui/test_window.h"
#include "ui/trace_window.h"

namespace kline::ui {

namespace {

constexpr const char* kChannelCaptions[kChannelCount] = {
    "rpm",        "inj duration", "ign advance", "manifold pressure", "air temp",
    "water temp", "throttle",     "battery",     "trimmer value"};
constexpr const char* kUnits[kChannelCount] = {"tr/m", "ms", "°", "mBar", "°", "°", "°", "V", ""};
constexpr int kStatusRefreshMs = 1000;
// Readings a tenth of a second late are still read as live.
constexpr int kDisplayMs = 100;

QString Name(const char* base, int index) { return QStringLiteral("%1(%2)").arg(base).arg(index); }

// A value field's width at the window's first size.
constexpr int kFieldWidth = 80;

}  // namespace

MainWindow::MainWindow(DiagnosticEngine& engine, const QString& settings_path, QWidget* parent)
    : QMainWindow(parent), engine_(engine), settings_(settings_path) {
  setObjectName(QStringLiteral("Form2"));
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
  top->addWidget(BuildChannels());
  auto* whole = new QVBoxLayout(central);
  whole->addLayout(top, 3);
  whole->addWidget(BuildSpeedBar(), 1);
  setCentralWidget(central);
  statusBar()->setObjectName(QStringLiteral("StatusBar"));
  BuildMenus();
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
  field_font_ = value_fields_[0]->font();
  base_size_ = sizeHint();
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  // In quarter steps, so that a window dragged wider lays itself out again now and then, not at
  // every pixel.
  const double fit = std::min(static_cast<double>(width()) / base_size_.width(),
                              static_cast<double>(height()) / base_size_.height());
  const double scale = std::clamp(std::floor(fit * 4) / 4, 1.0, 2.5);
  if (scale == readout_scale_) return;
  readout_scale_ = scale;
  const auto scaled = [scale](QFont font) {
    if (font.pointSizeF() > 0) {
      font.setPointSizeF(font.pointSizeF() * scale);
    } else {
      font.setPixelSize(static_cast<int>(font.pixelSize() * scale));
    }
    return font;
  };
  for (QLineEdit* field : value_fields_) {
    field->setFont(scaled(field_font_));
    field->setFixedWidth(static_cast<int>(kFieldWidth * scale));
  }
  const QFont big = scaled(figure_font_);
  speed_figure_->setFont(big);
  const QFontMetrics metrics(big);
  speed_figure_->setFixedSize(metrics.horizontalAdvance(QStringLiteral("000000")),
                              metrics.height());
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

QWidget* MainWindow::BuildChannels() {
  auto* box = new QWidget;
  auto* column = new QVBoxLayout(box);
  column->setContentsMargins(0, 0, 0, 0);

  auto* pictures = new QHBoxLayout;
  rev_counter_ = new GaugePicture;
  rev_counter_->setObjectName(QStringLiteral("Image1"));
  auto* command8 = new QToolButton;
  command8->setObjectName(QStringLiteral("Command8"));
  command8->setIcon(style()->standardIcon(QStyle::SP_MessageBoxInformation));
  command8->setIconSize(QSize(40, 40));
  command8->setAutoRaise(true);
  command8->setToolTip(QStringLiteral("About kline-diag"));
  connect(command8, &QToolButton::clicked, this, &MainWindow::ShowAbout);
  pictures->addWidget(rev_counter_);
  pictures->addStretch(1);
  pictures->addWidget(command8, 0, Qt::AlignTop);
  column->addLayout(pictures);

  auto* grid = new QGridLayout;
  grid->setVerticalSpacing(2);
  for (int i = 0; i < kChannelCount; ++i) {
    auto* box_i = new QCheckBox(QString::fromUtf8(kChannelCaptions[i]));
    box_i->setObjectName(Name("Check1", i));
    box_i->setChecked(true);
    connect(box_i, &QCheckBox::clicked, this,
            [this, i](bool ticked) { engine_.SetChannel(i, ticked); });
    auto* field = new QLineEdit;
    field->setObjectName(Name("Text1", i));
    field->setReadOnly(true);
    field->setFocusPolicy(Qt::NoFocus);
    field->setAlignment(Qt::AlignRight);
    field->setFixedWidth(kFieldWidth);
    auto* unit = new QLabel(QString::fromUtf8(kUnits[i]));
    unit->setObjectName(Name("Label3", i));
    unit->setMinimumWidth(36);
    channel_boxes_[static_cast<size_t>(i)] = box_i;
    value_fields_[static_cast<size_t>(i)] = field;
    grid->addWidget(box_i, i, 0);
    grid->addWidget(field, i, 1);
    grid->addWidget(unit, i, 2);
  }
  column->addLayout(grid);
  column->addStretch(1);
  return box;
}

QWidget* MainWindow::BuildSpeedBar() {
  auto* box = new QWidget;
  auto* row = new QHBoxLayout(box);
  row->setContentsMargins(0, 0, 0, 0);
  speed_bar_ = new SpeedBar;
  speed_bar_->setObjectName(QStringLiteral("Line1"));
  row->addWidget(speed_bar_, 1);

  speed_figure_ = new QLabel;
  speed_figure_->setObjectName(QStringLiteral("Label26"));
  QFont big = speed_figure_->font();
  big.setPointSizeF(big.pointSizeF() * 2.6);
  big.setBold(true);
  speed_figure_->setFont(big);
  speed_figure_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  // Of a fixed size: a new reading at every step repaints the label alone, where a label free to
  // grow would have the whole window laid out again.
  figure_font_ = big;
  const QFontMetrics metrics(big);
  speed_figure_->setFixedSize(metrics.horizontalAdvance(QStringLiteral("000000")),
                              metrics.height());
  row->addWidget(speed_figure_);
  return box;
}

void MainWindow::BuildMenus() {
  // The menus keep their first letters; the other captions pick theirs around them.
  tests_menu_ = menuBar()->addAction(QStringLiteral("&Tests"));
  tests_menu_->setObjectName(QStringLiteral("test"));
  connect(tests_menu_, &QAction::triggered, this, [this] { engine_.OpenTestWindow(); });
  diag_menu_ = menuBar()->addAction(QStringLiteral("&Diag"));
  diag_menu_->setObjectName(QStringLiteral("Diag"));
  connect(diag_menu_, &QAction::triggered, this, [this] { engine_.OpenFaultWindow(); });
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
    ShowPortMessage(SaveSupportReport(path, &error)
                        ? QStringLiteral("Support report saved to %1.").arg(path)
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
    connect(&engine_.lines(), &LineBatcher::LineEntries, monitor_, &LineMonitorWindow::AddEntries);
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
  QFile settings(settings_.path());
  const SupportContext context{.type = SelectedType(),
                               .program = QStringLiteral("kline-diag " KLINE_VERSION),
                               .port_field = port_field_->text(),
                               .identification = InfoText().split(u'\n', Qt::SkipEmptyParts),
                               .facts = identification_,
                               .settings = settings.open(QIODevice::ReadOnly)
                                               ? QString::fromUtf8(settings.readAll())
                                               : QStringLiteral("(no settings file yet)")};
  return support_.Save(path, context, error);
}

ChartWindow* MainWindow::OpenChart() {
  if (!chart_) chart_ = new ChartWindow(this);
  chart_->show();
  chart_->raise();
  return chart_;
}

void MainWindow::TickConnect() {
  if (!connect_box_->isChecked()) connect_box_->click();
}

QString MainWindow::InfoText() const { return info_box_->toPlainText(); }

bool MainWindow::StartRecording(const QString& path) {
  StopRecording(QString());
  RecordingHeader header;
  const std::optional<EcuType> type = SelectedType();
  header.ecu_type = type ? std::string(EcuTypeName(*type)) : std::string();
  header.iso_code = identification_.iso_code.value_or("");
  header.ecu_data = identification_.ecu_data.value_or("");
  header.calibration = identification_.calibration.value_or("");
  header.started = QDateTime::currentDateTime();
  if (!recorder_.Start(path, header)) {
    recording_problem_ = recorder_.Error();
    ShowPortMessage(recording_problem_);
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

void MainWindow::StopRecording(const QString& why) {
  if (!recorder_.IsRecording() && why.isEmpty()) return;
  const bool was_recording = recorder_.IsRecording();
  recorder_.Stop();
  record_->setEnabled(true);
  stop_recording_->setEnabled(false);
  recording_->clear();
  // The line beside the status goes with the recording: the status says where it was saved.
  QString said = why;
  if (was_recording && recorder_.Error().isEmpty()) {
    said += (said.isEmpty() ? QString() : QStringLiteral(" ")) +
            QStringLiteral("Recording %1 saved: %2 rows.")
                .arg(QFileInfo(recorder_.FileName()).fileName())
                .arg(recorder_.RowsWritten());
  }
  if (!said.isEmpty()) ShowPortMessage(said);
}

void MainWindow::ShowRecording() {
  const double seconds = recorder_.ElapsedSeconds();
  recording_->setText(QStringLiteral("Recording %1: %2 rows, %3:%4")
                          .arg(QFileInfo(recorder_.FileName()).fileName())
                          .arg(recorder_.RowsWritten())
                          .arg(static_cast<int>(seconds) / 60)
                          .arg(static_cast<int>(seconds) % 60, 2, 10, QLatin1Char('0')));
}

// Every consumer takes the same sample; none of them costs the wire anything.
void MainWindow::TakeSample(const LiveSample& sample) {
  support_.AddSample(sample);
  rev_counter_->SetRpm(sample.complete ? sample.values[0] : std::nullopt);
  poll_rate_.Add(sample);
  if (chart_) chart_->AddSample(sample);
  if (recorder_.IsRecording() && !recorder_.Append(sample)) StopRecording(recorder_.Error());
  // A new text lays the status bar out again and repaints it: once a second is enough for
  // numbers that are read, not watched.
  if (status_shown_.isValid() && status_shown_.elapsed() < kStatusRefreshMs) return;
  status_shown_.start();
  rate_->setText(QStringLiteral("%1 cycles/s, %2 requests/s")
                     .arg(poll_rate_.CyclesPerSecond(), 0, 'f', 1)
                     .arg(poll_rate_.RequestsPerSecond(), 0, 'f', 1));
  if (recorder_.IsRecording()) ShowRecording();
}

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
  PanelMirror* panel = &engine_.panel();
  // The readings arrive one by one as the wire answers; each would cost the window a paint of
  // its own. They are shown together at the display's pace instead; a reading that goes away
  // (disconnected, no answer) is shown gone at once.
  connect(panel, &PanelMirror::ValueTextChanged, this, [this](int channel, const QString& text) {
    shown_.texts.at(static_cast<size_t>(channel)) = text;
    ShowSoon(text.isEmpty());
    // A new palette restyles the field: only when it was stale.
    if (stale_.test(static_cast<size_t>(channel))) SetValueStale(channel, false);
  });
  connect(panel, &PanelMirror::ValueStaleChanged, this, &MainWindow::SetValueStale);
  connect(panel, &PanelMirror::ChannelTickedChanged, this, [this](int channel, bool ticked) {
    channel_boxes_.at(static_cast<size_t>(channel))->setChecked(ticked);
  });
  connect(panel, &PanelMirror::SpeedBarChanged, this, [this](int lit_below) {
    shown_.lit_below = lit_below;
    ShowSoon(lit_below == 0);
  });
  connect(panel, &PanelMirror::SpeedReadoutChanged, this, [this](const QString& text) {
    shown_.readout = text;
    ShowSoon(text.isEmpty());
  });
  display_.setSingleShot(true);
  display_.setInterval(kDisplayMs);
  connect(&display_, &QTimer::timeout, this, &MainWindow::ShowReadings);
  connect(panel, &PanelMirror::InfoAppended, this, &MainWindow::AppendInfo);
  connect(panel, &PanelMirror::InfoCleared, info_box_, &QPlainTextEdit::clear);
  connect(panel, &PanelMirror::IdentificationChanged, this,
          [this](const EcuIdentification& facts) { identification_ = facts; });
  connect(panel, &PanelMirror::StatusChanged, status_line_, &QLabel::setText);
  connect(panel, &PanelMirror::PortMessage, this, &MainWindow::ShowPortMessage);
  connect(&engine_.watch(), &ConnectionWatch::PortMessage, this, &MainWindow::ShowPortMessage);
  connect(&engine_.finder(), &InterfaceFinder::PortMessage, this, &MainWindow::ShowPortMessage);
  connect(panel, &PanelMirror::ConnectTickedChanged, connect_box_, &QCheckBox::setChecked);
  connect(panel, &PanelMirror::ConnectCaptionChanged, this, [this](const QString& caption) {
    connect_box_->setText(KeepMnemonic(connect_box_->text(), caption));
  });
  connect(panel, &PanelMirror::IndicatorColourChanged, this, [this](uint32_t bgr) {
    indicator_->SetFillColour(bgr);
    const bool connected = bgr == kIndicatorGreen;
    for (QRadioButton* option : {type_15m_, type_15rc_, type_16m_, type_p8_}) {
      option->setEnabled(!connected);
      option->setToolTip(connected ? QStringLiteral("The ECU type is fixed while connected: "
                                                    "disconnect to change it.")
                                   : QString());
    }
    // Disconnected, by the user or by a pulled cable: the recording ends with the session.
    if (bgr == kIndicatorRed) {
      rev_counter_->SetRpm(std::nullopt);
      StopRecording(recorder_.IsRecording() ? QStringLiteral("Recording stopped: disconnected.")
                                            : QString());
      poll_rate_.Reset();
      rate_->clear();
      status_shown_.invalidate();
    }
  });
  connect(panel, &PanelMirror::SampleTaken, this, &MainWindow::TakeSample);
  connect(&engine_.lines(), &LineBatcher::LineEntries, this,
          [this](const std::vector<LineEntry>& entries) { support_.AddLine(entries); });
  connect(&engine_.finder(), &InterfaceFinder::InterfaceFound, this, [this](const QString& field) {
    if (!field.isEmpty()) port_field_->setText(field);
  });
  connect(panel, &PanelMirror::ServiceMenusEnabledChanged, this, [this](bool enabled) {
    tests_menu_->setEnabled(enabled);
    diag_menu_->setEnabled(enabled);
  });
  connect(panel, &PanelMirror::FaultWindowHidden, this, [this] {
    if (fault_window_) fault_window_->hide();
  });
  connect(&engine_.desk(), &ServiceDesk::ServiceWindowShown, this, &MainWindow::ShowServiceWindow);
  connect(&engine_.desk(), &ServiceDesk::Refused, this,
          [this](ServiceWindowId id, const QString& reason) {
            if (ServiceWindow* window = Window(id)) {
              window->statusBar()->showMessage(reason);
            } else {
              ShowPortMessage(reason);
            }
          });
  connect(&engine_.desk(), &ServiceDesk::PortOwnerChanged, this, [this](PortOwner owner) {
    holder_ = owner;
    if (fault_window_) fault_window_->SetPortOwner(owner);
  });
  connect(&engine_.desk(), &ServiceDesk::FaultRead, this, [this](int index, const QString& answer) {
    if (fault_window_) fault_window_->NoteRead(index, answer);
  });
  for (ServiceWindowId id : {ServiceWindowId::kTest, ServiceWindowId::kFault}) {
    ServiceMirror* service = &engine_.service(id);
    connect(service, &ServiceMirror::WindowClosed, this, [this, id] { CloseServiceWindow(id); });
    connect(service, &ServiceMirror::MainWindowShown, this, &MainWindow::ShowAgain);
    connect(service, &ServiceMirror::StatusMessage, this, &MainWindow::ShowPortMessage);
    connect(service, &ServiceMirror::LogLine, this, [this, id](const QString& text) {
      if (ServiceWindow* window = Window(id)) window->AppendLine(text);
    });
  }
  ServiceMirror* tests = &engine_.service(ServiceWindowId::kTest);
  connect(tests, &ServiceMirror::ProgressMaximumChanged, this, [this](float maximum) {
    if (test_window_) test_window_->SetMaximum(maximum);
  });
  connect(tests, &ServiceMirror::ProgressValueChanged, this, [this](float value) {
    if (test_window_) test_window_->SetValue(value);
  });
  connect(tests, &ServiceMirror::TestButtonsEnabledChanged, this, [this](bool enabled) {
    if (test_window_) test_window_->SetTestButtonsEnabled(enabled);
  });
}

void MainWindow::ShowSoon(bool now) {
  if (now) {
    display_.stop();
    ShowReadings();
  } else if (!display_.isActive()) {
    display_.start();
  }
}

void MainWindow::ShowReadings() {
  for (size_t channel = 0; channel < shown_.texts.size(); ++channel) {
    std::optional<QString> text = std::exchange(shown_.texts[channel], std::nullopt);
    // Most channels read the same from one step to the next; a field given its own text again
    // would still lay that text out and repaint.
    if (text && value_fields_[channel]->text() != *text) value_fields_[channel]->setText(*text);
  }
  if (shown_.lit_below) speed_bar_->SetLitBelow(*std::exchange(shown_.lit_below, std::nullopt));
  if (shown_.readout) speed_figure_->setText(*std::exchange(shown_.readout, std::nullopt));
}

void MainWindow::ShowPortMessage(const QString& text) {
  support_.AddStatus(text);
  status_text_->setText(text);
  statusBar()->setToolTip(text);
}

QString MainWindow::StatusText() const { return status_text_->text(); }

PanelChoices MainWindow::Choices() const {
  PanelChoices choices;
  choices.port_field = port_field_->text();
  choices.type = SelectedType();
  for (int i = 0; i < kChannelCount; ++i) {
    choices.channels[static_cast<size_t>(i)] = channel_boxes_[static_cast<size_t>(i)]->isChecked();
  }
  choices.ecu_data = ecu_data_box_->isChecked();
  choices.calibration = calibration_box_->isChecked();
  return choices;
}

void MainWindow::SetValueStale(int channel, bool stale) {
  QLineEdit* field = value_fields_.at(static_cast<size_t>(channel));
  QPalette colours = field->palette();
  colours.setColor(QPalette::Text,
                   palette().color(stale ? QPalette::Disabled : QPalette::Active, QPalette::Text));
  field->setPalette(colours);
  // While the ECU does not answer, the readout, the bar and the lamp must not say all is well.
  stale_.set(static_cast<size_t>(channel), stale);
  speed_figure_->setEnabled(!stale_.test(0));
  speed_bar_->setEnabled(!stale_.test(0));
  indicator_->SetDimmed(stale_.any());
}

void MainWindow::AppendInfo(const QString& text) {
  QString lines = text;
  lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  QTextCursor cursor(info_box_->document());
  cursor.movePosition(QTextCursor::End);
  cursor.insertText(lines);
  info_box_->ensureCursorVisible();
}

TestWindow* MainWindow::Form1() const { return test_window_; }

FaultWindow* MainWindow::Form3() const { return fault_window_; }

ServiceWindow* MainWindow::Window(ServiceWindowId window) const {
  if (window == ServiceWindowId::kTest) return test_window_;
  return fault_window_;
}

// A service window holds the port: the main window steps aside until it is given back.
void MainWindow::ShowServiceWindow(ServiceWindowId window) {
  if (closing_) return;
  hide();
  ServiceWindow* shown = nullptr;
  if (window == ServiceWindowId::kTest) {
    delete test_window_;
    test_window_ = new TestWindow(engine_);
    shown = test_window_;
  } else {
    if (!fault_window_) fault_window_ = new FaultWindow(engine_, *this);
    fault_window_->SetPortOwner(PortOwner::kFaultWindow);
    shown = fault_window_;
  }
  shown->show();
  shown->raise();
  shown->activateWindow();
}

void MainWindow::CloseServiceWindow(ServiceWindowId window) {
  if (window == ServiceWindowId::kTest && test_window_) test_window_->CloseNow();
}

void MainWindow::ShowAgain() {
  if (closing_) return;
  show();
  raise();
  activateWindow();
}

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
      ShowPortMessage(line);
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
