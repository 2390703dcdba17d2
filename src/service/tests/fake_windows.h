// Plain recording fakes of the windows around the service logic, and a bench that puts them
// around a port open on a scripted line.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "link/kline_port.h"
#include "link/testing/scripted_line.h"
#include "service/progress_bar.h"
#include "service/service_host.h"
#include "service/service_log.h"
#include "service/test_buttons.h"

namespace kline::testing {

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

// The windows around a service routine.
struct Windows {
  FakeHost host;
  FakeLog log;
  FakeBar bar;
  FakeButtons buttons;
};

// A port open on a scripted line with the windows around it, fresh for every case.
struct Bench : Windows {
  Bench() { port.Open("1"); }

  VirtualClock clock;
  ScriptedLine line{clock};
  KLinePort port{line, clock};
};

}  // namespace kline::testing
