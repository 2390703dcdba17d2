#include "engine/engine_thread.h"

namespace kline {

EngineThread::EngineThread(EngineSetup setup)
    : engine_(std::make_unique<DiagnosticEngine>(std::move(setup))) {
  thread_.setObjectName(QStringLiteral("wire"));
  engine_->moveToThread(&thread_);
  QObject::connect(engine_.get(), &DiagnosticEngine::Finished, &thread_, &QThread::quit,
                   Qt::DirectConnection);
  thread_.start();
  QMetaObject::invokeMethod(engine_.get(), &DiagnosticEngine::Start, Qt::QueuedConnection);
}

EngineThread::~EngineThread() { Stop(); }

void EngineThread::Stop() {
  if (thread_.isFinished() || !thread_.isRunning()) return;
  engine_->RequestStop();
  thread_.wait();
}

}  // namespace kline
