// The conversation the main window drives with the ECU: connect and disconnect, and on each
// session-timer tick one step chosen by the flags init, ecuinf and cal_ask: wake-up,
// identification, or live data of the selected type.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "link/ecu_type.h"
#include "link/ini_file.h"
#include "link/kline_port.h"
#include "session/conversions.h"
#include "session/live_sample.h"
#include "session/main_panel.h"

namespace kline {

// What a tick is about to do on the wire, for those who label the traffic.
enum class SessionStage { kWakeUp, kIdentification, kLiveData };

inline constexpr std::string_view kStrangeIdentificationLine =
    "The identification bytes are not what this ECU type sends (no 0x55 among them): check the "
    "ECU type and the adapter's rate.";

// A key-on byte may come this long after the one before; the wake-up listens at most this much
// longer for the rest of a short identification.
inline constexpr int kKeyOnQuietMs = 250;
inline constexpr int kLateKeyOnBoundMs = 1000;
// A wake-up gap longer than asked by more than this is reported: the ECU's window is narrow.
inline constexpr int kWakeUpGapSlackMs = 25;
// While the ECU answers nothing, this many bytes nobody asked for in one live step are its
// key-on bytes after a restart (a late answer and three trailing bytes are not); this long
// without an answer, it is taken to be restarting.
inline constexpr int kRestartBurstBytes = 5;
inline constexpr int64_t kRestartSilenceMs = 15000;
// A P8 whose texts did not come is asked again at this many ticks in all.
inline constexpr int kP8IdentificationTries = 3;

class SessionDriver {
 public:
  SessionDriver(KLinePort& port, MainPanel& panel, const SettingsStore& settings);

  // The connect box was clicked: Connect when it became ticked, Disconnect otherwise.
  void OnConnectBox(bool ticked);
  void Connect();
  void Disconnect();

  // One session-timer tick. A tick that falls due inside another one is skipped.
  void Tick();
  // Told before each stage a tick runs.
  void OnStage(std::function<void(SessionStage)> listener) { on_stage_ = std::move(listener); }
  // Told when the session goes back to waiting for an ECU that restarted.
  void OnRestart(std::function<void()> listener) { on_restart_ = std::move(listener); }

  // Handlers of the channel boxes Check1(i), "Ecu data" (Check3) and "Calibration" (Check4).
  void OnChannelBox();
  void OnEcuDataBox(bool ticked);
  void OnCalibrationBox(bool ticked);

  // Wake-up handshake (15m, 15Rc, 16m).
  void WakeUpEcu();
  // Identification texts; also run by the "ecu info" and "calibration" buttons.
  void ReadEcuInfo();
  void ReadCalibration();
  // The live-data steps: one frame, the type's rules as data.
  void LiveData15m();
  void LiveData16m();
  void LiveDataP8();

  // A service window takes the port: no tick runs until it is given back.
  void LendPort();
  void ReturnPort(int timer_interval);

  // Runs Disconnect and says so when the port vanished while connected.
  void CheckPortLost();

  bool init() const { return init_; }
  // The bytes the wake-up took for the identification held no 0x55, the byte every ISO code
  // starts with: the ECU talks at another rate or is of another type, and was not woken.
  bool strange_identification() const { return strange_identification_; }
  const EcuIdentification& identification() const { return identification_; }
  // The wake-up's bytes left further apart than the ECU is asked to wait for them.
  bool wake_up_late() const { return wake_up_late_; }
  bool ecuinf() const { return ecuinf_; }
  bool cal_ask() const { return cal_ask_; }

  void SetDecimalSeparator(char separator) { decimal_separator_ = separator; }
  const TempTable& P8TempTable() const { return p8_temp_table_; }

 private:
  struct LiveRules;
  void LiveData(const LiveRules& rules);
  // Polls one ticked channel into the fields and `sample`; false when the ECU did not answer.
  // `shown`: the field was given this step's reading.
  bool PollChannel(int channel, const LiveRules& rules, LiveSample& sample, bool* shown);
  // The exchange half of a channel's poll: sends its request bytes and gives the answers
  // that came behind their echoes; false when the ECU did not answer within the bound.
  bool ExchangeChannel(const ChannelRequests& requests, LiveSample& sample,
                       std::optional<uint8_t>* hi, std::optional<uint8_t>* lo);
  void AwaitRestartedEcu(bool key_on_seen, int64_t silent_ms);
  void SayP8Channels();
  void ListenForLateKeyOnBytes(Bytes& bytes);
  void CheckWakeUpTiming(const std::array<int64_t, 3>& sent_us);
  // The text of `requests`; characters that did not come are kMissingCharacter, counted in
  // `missing`. Nothing when the ECU answered none of it.
  std::optional<std::string> ReadIdentification(RequestRange requests, PollPause pause,
                                                int* missing);
  // After a read that did not come: true when it is to be asked again at the next tick.
  bool AskAgain();
  // One identification stage: reads its text when ticked, then sets its flag unless the
  // text is to be asked for again.
  void ReadTextStage(bool ticked, RequestRange requests, PollPause pause, const char* label,
                     std::optional<std::string> EcuIdentification::*fact, bool* done);
  // The speed field with its readout and bar, which show the value without the field's pad.
  // Empties a value field, and for engine speed its readout and bar with it.
  void EmptyField(int channel);
  // Tells the panel only when a field's staleness changes.
  void MarkStale(int channel, bool stale);
  std::string Plain(double value) const;
  std::string Hundredths(double value) const;

  KLinePort& port_;
  MainPanel& panel_;
  void Entering(SessionStage stage);

  const SettingsStore& settings_;
  std::function<void(SessionStage)> on_stage_;
  std::function<void()> on_restart_;
  TempTable p8_temp_table_;
  char decimal_separator_ = '.';
  bool init_ = false;
  bool strange_identification_ = false;
  bool wake_up_late_ = false;
  // The ECU's key-on bytes came while the port ran at the working rate: wake it at once.
  bool wake_without_key_on_ = false;
  // Back to waiting after a restart: the wake-up listens only to bytes that come from now on.
  bool awaiting_key_on_ = false;
  int identification_tries_ = 0;
  bool p8_channels_said_ = false;
  EcuIdentification identification_;
  bool ecuinf_ = false;
  bool cal_ask_ = false;
  bool connected_ = false;
  bool in_tick_ = false;
  bool port_lent_ = false;
  std::string port_name_;
  std::array<bool, kChannelCount> stale_{};
  // The ECU left a live step unanswered, and when it was last heard (port clock).
  bool silent_ = false;
  int64_t heard_ms_ = 0;
};

}  // namespace kline
