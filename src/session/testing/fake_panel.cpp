#include "session/testing/fake_panel.h"

namespace kline {

FakePanel::FakePanel() { ticked.fill(true); }

void FakePanel::ProcessPendingEvents() {
  ++events_processed;
  if (on_events) {
    auto pending = std::move(on_events);
    on_events = nullptr;
    pending();
  }
}

}  // namespace kline
