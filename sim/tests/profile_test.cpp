#include "sim/profile.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <tuple>

namespace kline::sim {
namespace {

using ::testing::HasSubstr;

// What the session waits for, every type does in time; its texts are printable and each
// outcome of an actuator test is there to be seen. That it answers every request the PC
// sends is the protocol catalogue's test.
TEST(BuiltinProfile, EveryTypeAnswersInTimeWithEveryOutcome) {
  for (EcuType type : kAllEcuTypes) {
    SCOPED_TRACE(std::string(EcuTypeName(type)));
    const Profile profile = BuiltinProfile(type);
    EXPECT_EQ(profile.type, type);
    EXPECT_LE(profile.latency_us, 3000);
    EXPECT_LT(profile.wake_up_switch_ms, 300);  // the PC switches 300 ms after the wake-up
    for (int r = 0x17; r <= 0x28; ++r) {
      const auto text = profile.answers.find(static_cast<uint8_t>(r));
      EXPECT_TRUE(text != profile.answers.end() && text->second >= 0x20 && text->second < 0x7F);
    }
    // Within the PC's 30 passes.
    int done_at_once = 0, finished = 0, failed = 0;
    for (int r = 0x80; r <= 0x87; ++r) {
      ASSERT_EQ(profile.tests.count(r), 1u) << r;
      const ActuatorTest& test = profile.tests.at(r);
      done_at_once += test.first == 0xFF;
      finished += test.final_answer == 0xFF;
      failed += test.final_answer == 0xEE;
      EXPECT_LT(test.delay_ms, 30000);
    }
    EXPECT_GE(done_at_once, 1);
    EXPECT_GE(finished, 1);
    EXPECT_EQ(failed, 1);
  }
}

TEST(ParseProfile, ReportsTheFirstProblem) {
  const std::tuple<const char*, const char*> cases[] = {
      {"not json", "not a JSON object"},
      {R"({"type": "17m"})", "type"},
      {R"({"type": "15m", "colour": 1})", "unknown key \"colour\""},
      {R"({"type": "15m", "answers": {"1G": "00"}})", "\"1G\" is not a byte"},
      {R"({"type": "15m", "answers": {"10": 16}})", "expected a byte"},
      {R"({"type": "15m", "texts": {"17": "AB"}, "answers": {"18": "00"}})",
       "request 18 is already defined"},
      {R"({"type": "15m", "live": [{"request": "01", "kind": "rpm", "idle": 900}],
           "answers": {"02": "00"}})",
       "request 02 is already defined"},
      {R"({"type": "15m", "live": [{"request": "05", "kind": "speed"}]})", "unknown kind"},
      {R"({"type": "15m", "live": [{"request": "01", "kind": "rpm", "idle": 0}]})", "engine speed"},
      {R"({"type": "15m", "texts": {"FE": "ABC"}})", "past request FF"},
      {R"({"type": "15m", "wake_up_gap_ms": [200, 80]})", "wake_up_gap_ms"},
      {R"({"type": "15m", "iso_code": "80 5"})", "\"5\" is not a byte"},
      {R"({"type": "15m", "diagnostic": {"tests": {"80": {"first": "0"}}}})", "tests.80"},
      {R"({"type": "15m", "rev_cycle_s": {"idle": 0, "rise": 0, "hold": 0, "fall": 0}})",
       "rev_cycle_s"},
  };
  for (const auto& [json, expected] : cases) {
    std::string error;
    EXPECT_FALSE(ParseProfile(json, &error).has_value()) << json;
    EXPECT_THAT(error, HasSubstr(expected)) << json;
  }
}

TEST(ParseProfile, LeavesWhatIsNotGivenAtItsDefault) {
  std::string error;
  const std::optional<Profile> profile = ParseProfile(R"({"type": "P8"})", &error);
  ASSERT_TRUE(profile.has_value()) << error;
  EXPECT_FALSE(profile->needs_wake_up);
  EXPECT_EQ(profile->wake_up_bytes, (std::vector<uint8_t>{0x0F, 0xAA, 0xCC}));
  EXPECT_EQ(profile->latency_us, 2000);
  EXPECT_TRUE(profile->answers.empty());
}

TEST(LoadProfile, NamesTheFileItCannotRead) {
  std::string error;
  EXPECT_FALSE(LoadProfile("/nonexistent/ecu.json", &error).has_value());
  EXPECT_THAT(error, HasSubstr("/nonexistent/ecu.json"));
}

}  // namespace
}  // namespace kline::sim
