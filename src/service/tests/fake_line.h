// Test doubles for the service logic: a serial line that plays scripted replies on a virtual
// clock, and plain recording fakes of the window interfaces.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "link/clock.h"
#include "link/kline_port.h"
#include "link/serial_device.h"
#include "service/progress_bar.h"
#include "service/service_host.h"
#include "service/service_log.h"
#include "service/test_buttons.h"

namespace kline::testing {

// Bytes that become readable `after_ms` after the request that triggered them was written.
struct Arrival {
  int64_t after_ms = 0;
  Bytes bytes;
};

// Starts open. Each write of a request plays that request's next script, if any is left.
class ScriptedLine : public SerialDevice {
 public:
  explicit ScriptedLine(VirtualClock& clock) : clock_(clock) {}

  void Script(uint8_t request, std::vector<Arrival> arrivals);
  const Bytes& written() const { return written_; }

  void SetDtr(bool on) override { dtr_ = on; }
  void SetRts(bool on) override { rts_ = on; }
  bool Dtr() const override { return dtr_; }
  bool Rts() const override { return rts_; }
  bool Open(const std::string& path, const LineSettings& settings) override;
  void Close() override { open_ = false; }
  bool IsOpen() const override { return open_; }
  OpenFailure LastOpenFailure() const override { return OpenFailure::kNone; }
  std::optional<LineSettings> ReadLineSettings() override { return settings_; }
  bool WriteLineSettings(const LineSettings& settings) override;
  int PendingCount() override;
  Bytes ReadAll() override;
  bool WriteByte(uint8_t value) override;
  bool LastEventWasReceive() override { return received_; }
  bool WasLost() const override { return false; }

 private:
  struct Timed {
    int64_t at_us;
    uint8_t byte;
  };

  VirtualClock& clock_;
  bool open_ = true;
  bool dtr_ = false;
  bool rts_ = false;
  bool received_ = false;
  LineSettings settings_;
  std::map<uint8_t, std::deque<std::vector<Arrival>>> scripts_;
  std::vector<Timed> incoming_;  // in arrival order
  Bytes written_;
};

class FakeLog : public ServiceLog {
 public:
  void AppendLine(std::string_view text) override { lines.emplace_back(text); }
  void MoveCaretToEnd() override { ++caret_moves; }

  std::vector<std::string> lines;
  int caret_moves = 0;
};

class FakeBar : public ProgressBar {
 public:
  void SetMaximum(float value) override { maximum = value; }
  void SetValue(float v) override { values.push_back(v); }

  std::optional<float> maximum;
  std::vector<float> values;
};

class FakeButtons : public TestButtons {
 public:
  void SetTestButtonsEnabled(bool on) override { enabled = on; }
  bool enabled = true;
};

class FakeHost : public ServiceHost {
 public:
  std::optional<EcuType> SelectedType() const override { return type; }
  void TimerOn(int interval) override { timer_calls.push_back(interval); }
  void ShowMainWindow() override {
    main_hidden = false;
    ++shows;
  }
  bool MainWindowHidden() const override { return main_hidden; }
  void ProcessPendingEvents() override {
    ++event_runs;
    if (on_events) on_events();
  }
  void Refresh() override { ++refreshes; }
  void CloseWindow() override { ++closes; }
  void ShowStatusMessage(std::string_view text) override { status.emplace_back(text); }

  std::optional<EcuType> type = EcuType::k15m;
  bool main_hidden = true;
  std::vector<int> timer_calls;
  int shows = 0;
  int event_runs = 0;
  int refreshes = 0;
  int closes = 0;
  std::vector<std::string> status;
  std::function<void()> on_events;  // what the "user" does while events are processed
};

// One port on a scripted line with the window fakes around it, fresh for every case.
struct Bench {
  VirtualClock clock;
  ScriptedLine line{clock};
  KLinePort port{line, clock};
  FakeHost host;
  FakeLog log;
  FakeBar bar;
  FakeButtons buttons;
};

}  // namespace kline::testing
