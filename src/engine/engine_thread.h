// Runs a DiagnosticEngine on a thread of its own for as long as this object lives.
#pragma once

#include <QThread>
#include <memory>

#include "engine/diagnostic_engine.h"

namespace kline {

class EngineThread {
 public:
  explicit EngineThread(EngineSetup setup);
  // Stops the engine (see Stop) if that has not been done.
  ~EngineThread();
  EngineThread(const EngineThread&) = delete;
  EngineThread& operator=(const EngineThread&) = delete;

  DiagnosticEngine& engine() { return *engine_; }
  // Stops the engine (DiagnosticEngine::RequestStop) and joins the thread once the ending
  // is over.
  void Stop();

 private:
  QThread thread_;
  std::unique_ptr<DiagnosticEngine> engine_;
};

}  // namespace kline
