// The order of work on the wire: commands wait in an inbox and their routines run one at a
// time; a running routine lets in only state changes, at its yield points; a stop ends the
// routine at its next pause or wait (see WireStop) and then runs the proper ending, once.
#pragma once

#include <deque>
#include <functional>
#include <mutex>

#include "link/wire_stop.h"

namespace kline {

// A command from a window or the command-line tool. `state` changes only what the engine
// remembers (a box ticked, a test asked to stop) and may run early, at a routine's yield
// point; `wire` may talk to the ECU and runs alone, in turn. Either may be empty.
struct EngineCommand {
  std::function<void()> state = nullptr;
  std::function<void()> wire = nullptr;
};

class WireScheduler {
 public:
  // `ending` runs once after a stop, where pauses and waits keep their full length.
  explicit WireScheduler(std::function<void()> ending) : ending_(std::move(ending)) {}

  // Thread-safe.
  void Post(EngineCommand command);
  void RequestStop() { stop_.Request(); }
  WireStop& stop() { return stop_; }

  // The rest runs on the engine's thread.
  // Runs the commands waiting, in order; after a stop, the ending instead.
  void RunPending();
  // A routine of the engine's own (the session tick), under the same rules as a command's
  // wire part; the commands that came meanwhile run after it.
  void RunRoutine(const std::function<void()>& routine);
  // A routine's yield point: applies the state parts waiting now and leaves the wire parts
  // for later. Throws WireStopped once a stop is requested.
  void ApplyStateChanges();
  bool running() const { return running_; }
  bool finished() const { return finished_; }

 private:
  bool TakeNext(EngineCommand* command);
  // Runs `fn`; false when a stop cut it short.
  static bool Guarded(const std::function<void()>& fn);
  void Finish();

  std::function<void()> ending_;
  WireStop stop_;
  std::mutex mutex_;
  std::deque<EngineCommand> inbox_;
  bool running_ = false;
  bool finished_ = false;
};

}  // namespace kline
