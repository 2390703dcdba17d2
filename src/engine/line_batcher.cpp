#include "engine/line_batcher.h"

namespace kline {

namespace {

// Enough to watch, cheap to draw.
constexpr int kLineBatchMs = 100;

}  // namespace

LineBatcher::LineBatcher(QObject* parent) : QObject(parent), timer_(this) {
  timer_.setInterval(kLineBatchMs);
  connect(&timer_, &QTimer::timeout, this, &LineBatcher::Flush);
}

void LineBatcher::Stop() {
  timer_.stop();
  Flush();
}

void LineBatcher::FlushIfDue(int64_t unread_since_us) {
  if (since_flush_.isValid() && since_flush_.elapsed() < kLineBatchMs) return;
  since_flush_.start();
  std::vector<LineEntry> entries = log_.TakeWrittenBefore(unread_since_us);
  if (!entries.empty()) emit LineEntries(entries);
}

void LineBatcher::Flush() {
  since_flush_.start();
  std::vector<LineEntry> entries = log_.TakeNew();
  if (!entries.empty()) emit LineEntries(entries);
}

}  // namespace kline
