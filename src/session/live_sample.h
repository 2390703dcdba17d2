// One live-data step as numbers: what the window, the recorder, the chart and the
// command-line tool all take, so none of them has to parse the display texts.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "session/main_panel.h"

namespace kline {

struct LiveSample {
  // The session clock when the step ended (monotonic, microseconds).
  int64_t time_us = 0;
  // Each channel's value as converted for its field, in the field's unit; nullopt when the
  // channel was not read in this step or the ECU said "no value".
  std::array<std::optional<double>, kChannelCount> values{};
  // Requests sent in this step (one per byte written), for the poll rate.
  int requests = 0;
  // Channels polled in this step, and those whose every answer came behind a correct echo,
  // "no value" answers included: a step with fewer answered than asked lacks values.
  int asked = 0;
  int answered = 0;
  // False when the step ended early because the ECU did not answer.
  bool complete = true;
};

}  // namespace kline
