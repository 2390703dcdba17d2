// The live-data step shared by every ECU type: poll each ticked channel in order, convert,
// show. What differs between the types is data in LiveRules.
#include "link/numbers.h"
#include "session/session_driver.h"

namespace kline {

namespace {

constexpr int kChannelSpeed = 0;
constexpr int kChannelInjection = 1;
constexpr int kChannelTrimmer = 8;

// Request bytes of channels 0..8; speed and injection time take two each.
struct ChannelRequests {
  uint8_t first;
  std::optional<uint8_t> second;
};
constexpr ChannelRequests kRequests[kChannelCount] = {{0x01, 0x02}, {0x03, 0x04}, {0x05, {}},
                                                      {0x06, {}},   {0x07, {}},   {0x08, {}},
                                                      {0x09, {}},   {0x0A, {}},   {0x0F, {}}};

}  // namespace

struct SessionDriver::LiveRules {
  uint8_t trimmer_request;
  double speed_constant;
  // 15m, 15Rc and 16m read "FF" as "no value"; P8 takes every byte as a value, reads its
  // temperatures from a table and first lets pending window events run.
  bool p8;
};

void SessionDriver::LiveData15m() { LiveData({0x0F, 15000000.0, false}); }
void SessionDriver::LiveData16m() { LiveData({0x0B, 15000000.0, false}); }
void SessionDriver::LiveDataP8() { LiveData({0x0B, 30000000.0, true}); }

void SessionDriver::ShowSpeed(int64_t rpm, const std::string& field) {
  panel_.SetSpeedBar(SpeedBarLitCount(rpm));
  panel_.SetValueText(kChannelSpeed, field);
  panel_.SetSpeedReadout(Plain(static_cast<double>(rpm)));
}

void SessionDriver::EmptyField(int channel) {
  panel_.SetValueText(channel, "");
  MarkStale(channel, false);
  if (channel != kChannelSpeed) return;
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
  clock.SleepMs(8);
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
  Clock& clock = port_.clock();
  const uint8_t first =
      channel == kChannelTrimmer ? rules.trimmer_request : kRequests[channel].first;
  const std::optional<uint8_t> second = kRequests[channel].second;

  clock.SleepMs(8);
  port_.Flush();
  port_.WriteByte(first);
  ++sample.requests;
  if (!port_.WaitForCountTimed(2, 2000, PollPause::k3ms)) return false;
  if (second) {
    clock.SleepMs(8);
    port_.WriteByte(*second);
    ++sample.requests;
    if (!port_.WaitForCountTimed(4, 2000, PollPause::k3ms)) return false;
  }
  const std::string reply = KLinePort::ToReplyHex(port_.ReadAll());
  std::string hi;
  std::string lo;
  if (reply.size() >= 4 && reply.compare(0, 2, KLinePort::ToReplyHex({first})) == 0) {
    hi = reply.substr(2, 2);
  }
  if (second && reply.size() >= 8 && reply.compare(4, 2, KLinePort::ToReplyHex({*second})) == 0) {
    lo = reply.substr(6, 2);
  }
  const std::optional<int> b = HexByte(hi);
  // An answer behind its echo counts even when it converts to no value (FF FF, engine stopped).
  if (b) ++sample.answered;

  if (channel == kChannelSpeed) {
    const bool both = !hi.empty() && !lo.empty();
    const bool zero = both && hi == "00" && lo == "00";
    const bool no_value = both && hi == "FF" && lo == "FF";
    const int period = both ? *b * 256 + *HexByte(lo) : 0;
    // A "00" byte never divides: the P8 rule, which also spares the others a zero period.
    const bool usable =
        both && !no_value && (rules.p8 ? hi != "00" && lo != "00" : hi != "FF" && !zero);
    if (usable) {
      const int64_t rpm = EngineSpeed(rules.speed_constant, period);
      ShowSpeed(rpm, Plain(static_cast<double>(rpm)));
      sample.values[channel] = static_cast<double>(rpm);
    }
    if (no_value) {
      // The readout and the bar repeat the field: no value there either, not the last speed.
      panel_.SetValueText(kChannelSpeed, " ----");
      panel_.SetSpeedReadout(" ----");
      panel_.SetSpeedBar(0);
    }
    if (zero) {
      ShowSpeed(0, " 0");
      sample.values[channel] = 0.0;
    }
    return true;
  }
  std::optional<double> value;
  bool hundredths = false;
  if (channel == kChannelInjection) {
    if (!hi.empty() && !lo.empty() && (rules.p8 || hi != "FF")) {
      value = InjectionTime(*b * 256 + *HexByte(lo));
    }
  } else if (!b) {
    return true;
  } else if (channel == kChannelTrimmer) {
    value = TrimmerValue(*b);
  } else if (!rules.p8 && hi == "FF") {
    return true;
  } else {
    switch (channel) {
      case 2:
        value = IgnitionAdvance(*b);
        break;
      case 3:
        value = static_cast<double>(ManifoldPressure(*b));
        break;
      case 4:
      case 5:
        if (!rules.p8) {
          value = Temperature(*b);
        } else {
          value = p8_temp_table_[*b];
          hundredths = true;
        }
        break;
      case 6:
        value = ThrottleAngle(*b);
        hundredths = true;
        break;
      case 7:
        value = BatteryVoltage(*b);
        break;
    }
  }
  if (!value) return true;
  panel_.SetValueText(channel, hundredths ? Hundredths(*value) : Plain(*value));
  sample.values[channel] = WithoutBinaryNoise(*value);
  return true;
}

}  // namespace kline
