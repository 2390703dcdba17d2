#include "session/session_driver.h"

#include "link/numbers.h"
#include "link/port_name.h"

namespace kline {

namespace {

constexpr int kSessionInterval = 50;
// Every tick starts with this pause, part of the spacing between two steps on the line.
constexpr int kTickPauseMs = 5;
// Channels a P8 connection starts without: all but throttle and battery.
constexpr int kP8UntickedChannels[] = {0, 1, 2, 3, 4, 5, 8};

// The "Com" value as saved: a device path as it stands, anything else as its number.
std::string PortSetting(const std::string& field) {
  const size_t first = field.find_first_not_of(" \t");
  if (first != std::string::npos && field[first] == '/') return field.substr(first);
  return PlainNumber(LeadingNumber(field));
}

}  // namespace

SessionDriver::SessionDriver(KLinePort& port, MainPanel& panel, const SettingsStore& settings)
    : port_(port),
      panel_(panel),
      settings_(settings),
      p8_temp_table_(MakeP8TempTable()),
      decimal_separator_(UserDecimalSeparator()) {}

void SessionDriver::OnConnectBox(bool ticked) {
  if (ticked) {
    Connect();
  } else {
    Disconnect();
  }
}

void SessionDriver::Connect() {
  const std::optional<EcuType> type = panel_.SelectedType();
  const std::string field = panel_.PortFieldText();
  // A field that names no port (a typo, a hostile settings value such as 1e308) is refused
  // before anything is saved: the file keeps its text and the box does not stay ticked.
  if (!PortPath(field)) {
    port_.Open(field);
    panel_.ShowPortMessage(port_.OpenProblem());
    panel_.SetConnectTicked(false);
    return;
  }
  settings_.EcrireINI("Hardware", "Com", PortSetting(field));
  if (type) settings_.EcrireINI("Hardware", "Ecu", std::string(EcuTypeCode(*type)));
  init_ = ecuinf_ = cal_ask_ = false;
  port_lent_ = false;

  port_.Open(field);
  if (type == EcuType::kP8) port_.SetBaudRate(kWorkingBaud);
  if (!port_.IsOpen()) {
    panel_.ShowPortMessage(port_.OpenProblem());
    return;
  }
  connected_ = true;
  port_name_ = field;
  panel_.ShowPortMessage("");
  panel_.SetIndicatorColour(kIndicatorGreen);
  panel_.SetConnectTicked(true);
  panel_.SetConnectCaption("Disconnect");
  port_.clock().SleepMs(kRequestPauseMs);
  port_.Flush();
  init_ = false;
  strange_identification_ = false;
  wake_up_late_ = false;
  wake_without_key_on_ = false;
  awaiting_key_on_ = false;
  p8_channels_said_ = false;
  identification_tries_ = 0;
  panel_.SetStatus("Wait for ignition..");
  if (type == EcuType::kP8) {
    init_ = true;
    for (int channel : kP8UntickedChannels) {
      if (!panel_.ChannelTicked(channel)) continue;
      panel_.SetChannelTicked(channel, false);
      OnChannelBox();
    }
  }
  panel_.TimerOn(kSessionInterval);
}

void SessionDriver::Disconnect() {
  panel_.TimerOn(0);
  if (port_.IsOpen() || connected_) {
    port_.Close();
    panel_.SetConnectCaption("Connect");
    panel_.SetIndicatorColour(kIndicatorRed);
  }
  connected_ = false;
  port_lent_ = false;
  panel_.ClearInfo();
  identification_ = {};
  panel_.ShowIdentification(identification_);
  for (int i = 0; i < kChannelCount; ++i) EmptyField(i);
  init_ = ecuinf_ = cal_ask_ = false;
  if (silent_) panel_.ShowPortMessage("");
  silent_ = false;
  panel_.HideFaultWindow();
  panel_.SetStatus("");
  panel_.SetServiceMenusEnabled(false);
}

void SessionDriver::CheckPortLost() {
  if (!connected_ || !port_.WasLost()) return;
  Disconnect();
  panel_.SetConnectTicked(false);
  panel_.ShowPortMessage("The connection to " + port_name_ +
                         " was lost (cable or adapter unplugged?). Tick \"Connect\" to try "
                         "again.");
}

void SessionDriver::Tick() {
  if (in_tick_ || port_lent_) return;
  in_tick_ = true;
  port_.clock().SleepMs(kTickPauseMs);
  if (!init_) {
    Entering(SessionStage::kWakeUp);
    WakeUpEcu();
    panel_.SetServiceMenusEnabled(false);
  }
  if (init_) {
    panel_.SetServiceMenusEnabled(true);
    if (!ecuinf_ || !cal_ask_) Entering(SessionStage::kIdentification);
    if (!ecuinf_) ReadEcuInfo();
    if (ecuinf_) {
      if (!cal_ask_) ReadCalibration();
      if (cal_ask_) {
        Entering(SessionStage::kLiveData);
        switch (panel_.SelectedType().value_or(EcuType::k15m)) {
          case EcuType::k15m:
          case EcuType::k15Rc:
            LiveData15m();
            break;
          case EcuType::k16m:
            LiveData16m();
            break;
          case EcuType::kP8:
            LiveDataP8();
            break;
        }
      }
    }
  }
  in_tick_ = false;
  CheckPortLost();
}

void SessionDriver::Entering(SessionStage stage) {
  if (on_stage_) on_stage_(stage);
}

void SessionDriver::OnChannelBox() {
  panel_.ProcessPendingEvents();
  if (init_) panel_.TimerOn(0);
  bool any_ticked = false;
  for (int i = 0; i < kChannelCount; ++i) {
    if (panel_.ChannelTicked(i)) {
      any_ticked = true;
    } else {
      EmptyField(i);
    }
  }
  if (!any_ticked) {
    panel_.SetChannelTicked(kThrottleChannel, true);
    OnChannelBox();
  }
  if (init_) panel_.TimerOn(kSessionInterval);
}

void SessionDriver::OnEcuDataBox(bool ticked) {
  if (ticked) ecuinf_ = true;
}

void SessionDriver::OnCalibrationBox(bool ticked) {
  if (ticked) cal_ask_ = true;
}

void SessionDriver::LendPort() {
  port_lent_ = true;
  panel_.TimerOn(0);
}

void SessionDriver::ReturnPort(int timer_interval) {
  port_lent_ = false;
  panel_.TimerOn(timer_interval);
}

std::string SessionDriver::Plain(double value) const {
  return PlainNumber(value, decimal_separator_);
}

std::string SessionDriver::Hundredths(double value) const {
  return TwoDecimals(value, decimal_separator_);
}

}  // namespace kline
