// The protocol catalogue against the simulated ECUs, which were written from captures of
// the real ones: every request the catalogue gives a type is one its ECU answers, every live
// channel asks for the value the ECU serves under that byte, the rates are the ECU's and the
// identification texts end where the ECU's do.
#include "link/protocol.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "sim/profile.h"

namespace kline {
namespace {

TEST(ProtocolCatalogue, AgreesWithTheSimulatedEcus) {
  // In the order of Conversion.
  using enum sim::LiveKind;
  constexpr sim::LiveKind kKinds[] = {kRpm,   kInjectionMs, kAdvanceDeg, kPressureMbar,
                                      kTempC, kThrottleDeg, kBatteryV,   kTrimmer};
  for (EcuType type : kAllEcuTypes) {
    SCOPED_TRACE(EcuTypeName(type));
    const sim::Profile profile = sim::BuiltinProfile(type);
    EXPECT_EQ(profile.working_baud, type == EcuType::k16m ? kStartBaud : kWorkingBaud);
    EXPECT_FALSE(profile.answers.contains(static_cast<uint8_t>(kCalibrationRequests.last + 1)));
    const auto live = [&](uint8_t request) {
      return std::find_if(profile.live.begin(), profile.live.end(),
                          [&](const sim::LiveChannel& c) { return c.request == request; });
    };
    for (const ChannelColumn& channel : kChannelColumns) {
      const auto served = live(channel.RequestsFor(type).first);
      ASSERT_NE(served, profile.live.end()) << channel.csv_name;
      // A type whose table reads temperatures differently still serves them as raw bytes.
      if (served->kind != sim::LiveKind::kRaw) {
        EXPECT_EQ(served->kind, kKinds[static_cast<int>(channel.conversion)]) << channel.csv_name;
      }
    }
    for (const RequestRow& row : RequestCatalogue()) {
      if ((row.types & TypeBit(type)) == 0) continue;
      SCOPED_TRACE(row.label);
      switch (row.activity) {
        case Activity::kWakeUp:
          EXPECT_NE(
              std::find(profile.wake_up_bytes.begin(), profile.wake_up_bytes.end(), row.request),
              profile.wake_up_bytes.end());
          break;
        case Activity::kIdentification:
          EXPECT_TRUE(profile.answers.contains(row.request));
          break;
        case Activity::kFaultMemory:
          // On a 15m the first fault byte shares its request with the trimmer.
          EXPECT_TRUE(profile.answers.contains(row.request) ||
                      live(row.request) != profile.live.end());
          break;
        case Activity::kLiveData:
          // The second byte of a pair is served with the first.
          EXPECT_TRUE(live(row.request) != profile.live.end() ||
                      live(static_cast<uint8_t>(row.request - 1)) != profile.live.end());
          break;
        case Activity::kActuatorTests15:
        case Activity::kActuatorTests16:
          EXPECT_EQ(row.activity, ActuatorTestsActivity(type));
          EXPECT_TRUE(profile.tests.contains(row.request) ||
                      row.request == kEnterDiagnosticRequest ||
                      row.request == kLeaveDiagnosticRequest);
          break;
        case Activity::kNone:
        case Activity::kInterfaceCheck:
          ADD_FAILURE() << "no request of its own";
      }
    }
  }
}

}  // namespace
}  // namespace kline
