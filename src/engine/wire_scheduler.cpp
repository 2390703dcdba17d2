#include "engine/wire_scheduler.h"

#include <utility>
#include <vector>

namespace kline {

void WireScheduler::Post(EngineCommand command) {
  const std::lock_guard<std::mutex> lock(mutex_);
  inbox_.push_back(std::move(command));
}

bool WireScheduler::TakeNext(EngineCommand* command) {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (inbox_.empty()) return false;
  *command = std::move(inbox_.front());
  inbox_.pop_front();
  return true;
}

bool WireScheduler::Guarded(const std::function<void()>& fn) {
  try {
    fn();
  } catch (const WireStopped&) {
    return false;
  }
  return true;
}

void WireScheduler::RunPending() {
  if (running_) return;
  EngineCommand command;
  while (!finished_) {
    if (stop_.requested()) return Finish();
    if (!TakeNext(&command)) return;
    if (command.state && !Guarded(command.state)) continue;
    if (!command.wire) continue;
    running_ = true;
    Guarded(command.wire);
    running_ = false;
  }
}

void WireScheduler::RunRoutine(const std::function<void()>& routine) {
  if (running_ || finished_) return;
  running_ = true;
  Guarded(routine);
  running_ = false;
  RunPending();
}

void WireScheduler::ApplyStateChanges() {
  stop_.ThrowIfCutting();
  std::vector<std::function<void()>> changes;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    for (EngineCommand& command : inbox_) {
      if (command.state) changes.push_back(std::exchange(command.state, nullptr));
    }
    std::erase_if(inbox_, [](const EngineCommand& command) { return !command.wire; });
  }
  for (const std::function<void()>& change : changes) change();
}

void WireScheduler::Finish() {
  finished_ = true;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    inbox_.clear();
  }
  const EndingScope ending(&stop_);
  ending_();
}

}  // namespace kline
