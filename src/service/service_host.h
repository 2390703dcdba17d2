// What a service routine needs from its window, the main window and the window toolkit: the
// selected ECU type, the session timer, showing the main window again, its own repaint and
// close, its log (`Rtb1`), the test window's progress bar (`Pg1`) and test buttons. One
// object stands for all of it; a routine uses the part it needs.
#pragma once

#include <optional>
#include <string_view>

#include "link/ecu_type.h"
#include "link/session_timer.h"

namespace kline {

// Written when a request gets no valid answer (time-out, wrong echo, port closed).
inline constexpr std::string_view kNoAnswerLine = "No answer from ECU";
// The session timer's interval once a service window gives the port back.
inline constexpr int kHandBackInterval = 20;

// How a service exchange ended, as a fact beside the log's words: whoever acts on the outcome
// (an exit status, a window's state) takes it from here, never from the log.
enum class ServiceVerdict {
  kDone,      // the ECU said the test finished, or it answered the fault byte
  kFailed,    // the ECU said the test failed
  kUnknown,   // the test ended without a word the ECU uses for a verdict
  kNoAnswer,  // no valid answer to the request
  kPortLost,  // the cable or adapter went away
  kRefused,   // the custom code is no test request; nothing was sent
};

class ServiceHost : public SessionTimer {
 public:
  // The main window's type option; nullopt when none is selected.
  virtual std::optional<EcuType> SelectedType() const = 0;
  virtual void ShowMainWindow() = 0;
  virtual bool MainWindowHidden() const = 0;
  // Lets pending window events run once (clicks, timer ticks, repaints).
  virtual void ProcessPendingEvents() = 0;
  // Repaints the service window now.
  virtual void Refresh() = 0;
  // Closes (unloads) the service window itself. Must not destroy the window synchronously:
  // the caller is still running inside it.
  virtual void CloseWindow() = 0;
  // A message in the main window's status bar.
  virtual void ShowStatusMessage(std::string_view text) = 0;

  // The log: `text` and "\r\n" go at its end, never by rewriting what is there, and the
  // caret follows.
  virtual void AppendLine(std::string_view text) = 0;
  // Moves the caret to the end so that the newest line is in view.
  virtual void MoveCaretToEnd() = 0;

  // The progress bar, advanced once a second while a test result is awaited.
  virtual void SetMaximum(float maximum) = 0;
  virtual void SetValue(float value) = 0;

  // The eight test buttons, switched off while a test holds the port so that the events
  // processed during the wait cannot start a second test.
  virtual void SetTestButtonsEnabled(bool enabled) = 0;

  // Once per test pressed and per fault byte read, after its log lines.
  virtual void ReportVerdict(ServiceVerdict verdict) = 0;
};

}  // namespace kline
