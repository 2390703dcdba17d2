// The live-data step shared by every ECU type: poll each ticked channel in order, convert,
// show. What differs between the types is data in LiveRules.
#include "session/session_driver.h"

namespace kline {

struct SessionDriver::LiveRules {
  EcuType type;  // 15Rc polls as 15m does
  // P8 first lets pending window events run.
  bool p8;
};

void SessionDriver::LiveData15m() { LiveData({EcuType::k15m, false}); }
void SessionDriver::LiveData16m() { LiveData({EcuType::k16m, false}); }
void SessionDriver::LiveDataP8() { LiveData({EcuType::kP8, true}); }

void SessionDriver::EmptyField(int channel) {
  panel_.SetValueText(channel, "");
  MarkStale(channel, false);
  if (channel != kSpeedChannel) return;
  // The readout and the bar repeat the speed field: they never outlive it.
  panel_.SetSpeedReadout("");
  panel_.SetSpeedBar(0);
}

void SessionDriver::MarkStale(int channel, bool stale) {
  if (stale_[channel] == stale) return;
  stale_[channel] = stale;
  panel_.SetValueStale(channel, stale);
}

void SessionDriver::LiveData(const LiveRules& rules) {
  if (rules.p8) {
    panel_.ProcessPendingEvents();
    // The events may have handed the port to a service window or disconnected.
    if (port_lent_) return;
    panel_.SetStatus("");
  }
  if (!port_.IsOpen()) return;
  Clock& clock = port_.clock();
  if (!silent_) heard_ms_ = clock.NowMs();
  clock.SleepMs(kRequestPauseMs);
  port_.Flush();

  LiveSample sample;
  for (int channel = 0; channel < kChannelCount; ++channel) {
    if (!panel_.ChannelTicked(channel)) continue;
    // From the first channel the ECU left unanswered, nothing in this step is fresh.
    if (sample.complete && !PollChannel(channel, rules, sample)) sample.complete = false;
    MarkStale(channel, !sample.complete);
  }
  sample.time_us = clock.NowUs();
  panel_.PublishSample(sample);

  if (!sample.complete) {
    silent_ = true;
    panel_.ShowPortMessage("No answer from ECU for " +
                           std::to_string((clock.NowMs() - heard_ms_) / 1000) + " s");
  } else if (silent_) {
    silent_ = false;
    panel_.ShowPortMessage("");
  }
}

bool SessionDriver::PollChannel(int channel, const LiveRules& rules, LiveSample& sample) {
  std::optional<uint8_t> hi;
  std::optional<uint8_t> lo;
  if (!ExchangeChannel(kChannelColumns[channel].RequestsFor(rules.type), sample, &hi, &lo)) {
    return false;
  }
  // An answer behind its echo counts even when it converts to no value (FF FF, engine stopped).
  if (hi) ++sample.answered;
  const ChannelReading reading =
      DecodeChannel(channel, rules.type, hi, lo, p8_temp_table_, decimal_separator_);
  if (!reading.text) return true;
  panel_.SetValueText(channel, *reading.text);
  sample.values[channel] = reading.value;
  if (channel == kSpeedChannel) {
    // The readout and the bar repeat the field: no value there either, not the last speed.
    const int64_t rpm = static_cast<int64_t>(reading.value.value_or(0));
    panel_.SetSpeedBar(SpeedBarLitCount(rpm));
    panel_.SetSpeedReadout(reading.value ? Plain(static_cast<double>(rpm)) : *reading.text);
  }
  return true;
}

bool SessionDriver::ExchangeChannel(const ChannelRequests& requests, LiveSample& sample,
                                    std::optional<uint8_t>* hi, std::optional<uint8_t>* lo) {
  // Each answer counts only behind the echo of its own request.
  const auto exchange = [&](uint8_t request, std::optional<uint8_t>* answer) {
    if (!port_.SendRequest(request, kRequestPauseMs, kAnswerBoundMs)) return false;
    ++sample.requests;
    if (!port_.WaitForCountTimed(2, kAnswerBoundMs, PollPause::k3ms, request)) return false;
    const Bytes reply = port_.ReadAll();
    if (reply.size() >= 2 && reply[0] == request) *answer = reply[1];
    return true;
  };
  return exchange(requests.first, hi) && (!requests.second || exchange(*requests.second, lo));
}

}  // namespace kline
