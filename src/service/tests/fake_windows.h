// Plain recording fakes of the windows around the service logic, and a bench that puts them
// around a port open on a scripted line.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "link/kline_port.h"
#include "link/testing/scripted_line.h"
#include "service/service_host.h"

namespace kline::testing {

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
  void AppendLine(std::string_view text) override { lines.emplace_back(text); }
  void MoveCaretToEnd() override { ++caret_moves; }
  void SetMaximum(float value) override { bar_maximum = value; }
  void SetValue(float v) override { bar_values.push_back(v); }
  void SetTestButtonsEnabled(bool on) override { buttons_enabled = on; }
  void ReportVerdict(ServiceVerdict verdict) override { verdicts.push_back(verdict); }

  std::optional<EcuType> type = EcuType::k15m;
  bool main_hidden = true;
  std::vector<int> timer_calls;
  int shows = 0;
  int event_runs = 0;
  int refreshes = 0;
  int closes = 0;
  std::vector<std::string> status;
  std::function<void()> on_events;  // what the "user" does while events are processed
  std::vector<std::string> lines;   // the log
  std::vector<ServiceVerdict> verdicts;
  int caret_moves = 0;
  std::optional<float> bar_maximum;
  std::vector<float> bar_values;
  bool buttons_enabled = true;
};

// The windows around a service routine.
struct Windows {
  FakeHost host;
};

// A port open on a scripted line with the windows around it, fresh for every case.
struct Bench : Windows {
  Bench() { port.Open("1"); }

  VirtualClock clock;
  ScriptedLine line{clock};
  KLinePort port{line, clock};
};

}  // namespace kline::testing
