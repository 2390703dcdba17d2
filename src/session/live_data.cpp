// The live-data step shared by every ECU type: poll each ticked channel in order, convert,
// show. What differs between the types is data in LiveRules.
#include <cctype>
#include <utility>

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
    if (!std::exchange(p8_channels_said_, true)) SayP8Channels();
  }
  if (!port_.IsOpen()) return;
  Clock& clock = port_.clock();
  if (!silent_) heard_ms_ = clock.NowMs();
  clock.SleepMs(kRequestPauseMs);
  port_.Flush();

  LiveSample sample;
  for (int channel = 0; channel < kChannelCount; ++channel) {
    if (!panel_.ChannelTicked(channel)) continue;
    ++sample.asked;
    // From the first channel the ECU left unanswered, nothing in this step is fresh.
    bool shown = false;
    if (sample.complete && !PollChannel(channel, rules, sample, &shown)) {
      sample.complete = false;
      // Until now the ECU answered: what it sent beyond its answers (trailing bytes) is no
      // sign of a restart.
      if (!silent_) port_.TakeUnaskedCount();
    }
    // A field whose reading became "no value" (or came behind a wrong echo) keeps its text,
    // but greyed: it no longer shows what the ECU last said.
    MarkStale(channel, !sample.complete || !shown);
  }
  sample.time_us = clock.NowUs();
  panel_.PublishSample(sample);

  // Bytes nobody asked for in a step while the ECU answers nothing: its key-on bytes after a
  // restart, at a rate the port no longer runs at.
  const int unasked = port_.TakeUnaskedCount();
  if (!sample.complete) {
    silent_ = true;
    const int64_t silent_ms = clock.NowMs() - heard_ms_;
    // A P8 is never woken: when it comes back it simply answers again.
    if (!rules.p8 && (unasked >= kRestartBurstBytes || silent_ms >= kRestartSilenceMs)) {
      AwaitRestartedEcu(unasked >= kRestartBurstBytes, silent_ms);
      return;
    }
    panel_.ShowPortMessage("No answer from ECU for " + std::to_string(silent_ms / 1000) + " s");
  } else if (silent_) {
    silent_ = false;
    panel_.ShowPortMessage("");
  }
}

bool SessionDriver::PollChannel(int channel, const LiveRules& rules, LiveSample& sample,
                                bool* shown) {
  std::optional<uint8_t> hi;
  std::optional<uint8_t> lo;
  const ChannelRequests requests = kChannelColumns[channel].RequestsFor(rules.type);
  if (!ExchangeChannel(requests, sample, &hi, &lo)) return false;
  // An answer behind its echo counts even when it converts to no value (FF FF, engine stopped).
  if (hi && (!requests.second || lo)) ++sample.answered;
  const ChannelReading reading =
      DecodeChannel(channel, rules.type, hi, lo, p8_temp_table_, decimal_separator_);
  if (!reading.text) return true;
  *shown = true;
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

// A P8 connection starts with throttle and battery only; while it keeps to them, the status
// line says so, or the empty speed bar and rev counter would look like a fault.
void SessionDriver::SayP8Channels() {
  std::string polled;
  for (int channel = 0; channel < kChannelCount; ++channel) {
    if (!panel_.ChannelTicked(channel)) continue;
    if (channel != kThrottleChannel && channel != kBatteryChannel) return;
    std::string caption(kChannelColumns[static_cast<size_t>(channel)].caption);
    caption[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(caption[0])));
    polled += (polled.empty() ? "" : " and ") + caption;
  }
  panel_.ShowPortMessage("P8: polling " + polled +
                         ", the channels a P8 connection starts with; tick the others to poll "
                         "them too (the speed bar stays empty until rpm is ticked).");
}

// The ECU was switched off and on (or has been silent too long to be the one woken): the
// session goes back to waiting for it, as a new Connect would, and says why. Key-on bytes
// seen at the working rate could not be read, but they prove that the ECU is waiting for the
// wake-up: it is sent at the next tick without waiting for them again.
void SessionDriver::AwaitRestartedEcu(bool key_on_seen, int64_t silent_ms) {
  const std::optional<EcuType> type = panel_.SelectedType();
  if (type != EcuType::k16m) port_.SetBaudRate(kStartBaud);
  init_ = ecuinf_ = cal_ask_ = false;
  silent_ = false;
  wake_without_key_on_ = key_on_seen;
  identification_ = {};
  panel_.ClearInfo();
  panel_.ShowIdentification(identification_);
  for (int channel = 0; channel < kChannelCount; ++channel) {
    if (panel_.ChannelTicked(channel)) MarkStale(channel, true);
  }
  panel_.SetServiceMenusEnabled(false);
  panel_.SetStatus("Wait for ignition..");
  // Only bytes from now on are the key-on bytes the wake-up waits for.
  port_.Flush();
  awaiting_key_on_ = !key_on_seen;
  panel_.ShowPortMessage(
      key_on_seen
          ? std::string("The ECU restarted (ignition switched off and on?): waking it again.")
          : "No answer from ECU for " + std::to_string(silent_ms / 1000) +
                " s: waiting for it to start again. Switch the ignition off and on.");
  if (on_restart_) on_restart_();
}

}  // namespace kline
