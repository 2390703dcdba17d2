// The main window as the session sees it: its controls, reached through plain calls so
// that the session never depends on a widget toolkit. Setters never call back into the
// session; where a change must run a handler, the session runs it itself.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "link/ecu_type.h"
#include "link/protocol.h"
#include "link/session_timer.h"

namespace kline {

struct LiveSample;

inline constexpr uint32_t kIndicatorGreen = 65280;  // blue-green-red colour value
inline constexpr uint32_t kIndicatorRed = 255;

// What the ECU said about itself, as values beside the info box's lines; each part is absent
// until it has been read.
struct EcuIdentification {
  std::optional<std::string> iso_code;
  std::optional<std::string> ecu_data;
  std::optional<std::string> calibration;
  // Bytes of the code and characters of the texts that never came: a text keeps what did
  // come, with kMissingCharacter in each gap, and its line in the info box says so.
  int missing = 0;
};

inline constexpr char kMissingCharacter = '?';

class MainPanel : public SessionTimer {
 public:
  // Channel boxes Check1(i) and value fields Text1(i), i = 0..8.
  virtual bool ChannelTicked(int channel) const = 0;
  virtual void SetChannelTicked(int channel, bool ticked) = 0;
  virtual std::string ValueText(int channel) const = 0;
  virtual void SetValueText(int channel, const std::string& text) = 0;
  // Engine-speed bar: segments below `lit_below` lit, the others unlit.
  virtual void SetSpeedBar(int lit_below) = 0;
  // Large engine-speed readout (Label26).
  virtual void SetSpeedReadout(const std::string& text) = 0;

  // A field whose value was not refreshed in the last step (the ECU stopped answering) is
  // shown as stale until it is written again.
  virtual void SetValueStale(int channel, bool stale) = 0;

  // ECU information box (Text4).
  virtual void AppendInfo(const std::string& text) = 0;
  virtual void ClearInfo() = 0;
  // After each change of what the ECU said about itself.
  virtual void ShowIdentification(const EcuIdentification& facts) = 0;
  // Status line (Label4).
  virtual void SetStatus(const std::string& text) = 0;
  // The status bar below everything: why a port did not open, that it was lost.
  virtual void ShowPortMessage(const std::string& text) = 0;

  // The "Com Port" frame.
  virtual std::string PortFieldText() const = 0;
  virtual void SetConnectTicked(bool ticked) = 0;
  virtual void SetConnectCaption(const std::string& caption) = 0;
  virtual void SetIndicatorColour(uint32_t bgr) = 0;

  // The selected type option, nullopt when none is selected.
  virtual std::optional<EcuType> SelectedType() const = 0;
  virtual bool EcuDataTicked() const = 0;      // Check3
  virtual bool CalibrationTicked() const = 0;  // Check4

  // The "Tests" and "Diag" menus, always together.
  virtual void SetServiceMenusEnabled(bool enabled) = 0;
  virtual void HideFaultWindow() = 0;
  // Lets pending window events run once (clicks, timer ticks, repaints).
  virtual void ProcessPendingEvents() = 0;
  // Each live step's values as numbers, for the recorder, the chart and the poll rate.
  virtual void PublishSample(const LiveSample& sample) = 0;
};

}  // namespace kline
