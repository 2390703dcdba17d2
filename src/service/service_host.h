// What a service window needs from the main window and the window toolkit: the selected ECU
// type, the session timer, showing the main window again, and its own repaint and close.
#pragma once

#include <optional>
#include <string_view>

#include "link/ecu_type.h"
#include "link/session_timer.h"

namespace kline {

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
};

}  // namespace kline
