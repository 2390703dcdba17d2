#include <windows.h>

#include <QMetaObject>
#include <atomic>

#include "engine/stop_signals.h"

namespace kline {

namespace {

std::atomic<StopSignals*> watcher{nullptr};
// Set when the watcher goes: the program has stopped and may be ended.
HANDLE stopped_event = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD event) {
  StopSignals* target = watcher.load();
  if (target == nullptr) return FALSE;
  QMetaObject::invokeMethod(
      target, [target] { emit target->Received(); }, Qt::QueuedConnection);
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
    // Returning lets the system end the process at once; it ends it anyway after its own
    // grace period (a few seconds), which the ending fits in.
    WaitForSingleObject(stopped_event, INFINITE);
  }
  return TRUE;
}

}  // namespace

struct StopSignals::Handlers {
  bool installed = false;
};

StopSignals::StopSignals() : handlers_(std::make_unique<Handlers>()) {
  if (stopped_event == nullptr) stopped_event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ResetEvent(stopped_event);
  watcher.store(this);
  handlers_->installed = SetConsoleCtrlHandler(OnConsoleEvent, TRUE) != 0;
}

StopSignals::~StopSignals() {
  watcher.store(nullptr);
  if (handlers_->installed) SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
  SetEvent(stopped_event);
}

}  // namespace kline
