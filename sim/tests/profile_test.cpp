#include "sim/profile.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

namespace kline::sim {
namespace {

using ::testing::HasSubstr;

bool Answers(const Profile& profile, uint8_t request) {
  if (profile.answers.count(request) != 0) return true;
  return std::any_of(profile.live.begin(), profile.live.end(), [&](const LiveChannel& channel) {
    return request >= channel.request && request < channel.request + LiveRequestCount(channel.kind);
  });
}

TEST(BuiltinProfile, EveryTypeAnswersEveryRequestThePcSends) {
  struct Case {
    EcuType type;
    bool needs_wake_up;
    int32_t working_baud;
    size_t iso_code_size;
    uint8_t trimmer;
  };
  const Case cases[] = {
      {EcuType::k15m, true, 7812, 7, 0x0F},
      {EcuType::k15Rc, true, 7812, 0, 0x0F},
      {EcuType::k16m, true, 1200, 7, 0x0B},
      {EcuType::kP8, false, 7812, 0, 0x0B},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(EcuTypeName(c.type)));
    const Profile profile = BuiltinProfile(c.type);
    EXPECT_EQ(profile.type, c.type);
    EXPECT_EQ(profile.needs_wake_up, c.needs_wake_up);
    EXPECT_EQ(profile.working_baud, c.working_baud);
    EXPECT_EQ(profile.iso_code.size(), c.iso_code_size);
    EXPECT_LE(profile.latency_us, 3000);
    EXPECT_LT(profile.wake_up_switch_ms, 300);
    EXPECT_EQ(profile.wake_up_min_gap_ms, 80);
    EXPECT_EQ(profile.wake_up_max_gap_ms, 200);
    for (int r = 0x01; r <= 0x0A; ++r) EXPECT_TRUE(Answers(profile, r)) << r;
    EXPECT_TRUE(Answers(profile, c.trimmer));
    for (int r : {0x0F, 0x10, 0x11, 0x15, 0x16, 0x17, 0x18, 0x1D, 0x1E, 0x1F}) {
      EXPECT_TRUE(Answers(profile, r)) << r;
    }
    for (int r = 0x17; r <= 0x28; ++r) {
      ASSERT_EQ(profile.answers.count(r), 1u) << r;
      EXPECT_TRUE(profile.answers.at(r) >= 0x20 && profile.answers.at(r) < 0x7F) << r;
    }
    int done_at_once = 0;
    int finished = 0;
    int failed = 0;
    for (int r = 0x80; r <= 0x87; ++r) {
      ASSERT_EQ(profile.tests.count(r), 1u) << r;
      const ActuatorTest& test = profile.tests.at(r);
      done_at_once += test.first == 0xFF;
      finished += test.final_answer == 0xFF;
      failed += test.final_answer == 0xEE;
      // The PC waits at most 30 one-second passes for a final answer.
      EXPECT_LT(test.delay_ms, 30000);
    }
    EXPECT_GE(done_at_once, 1);
    EXPECT_GE(finished, 1);
    EXPECT_EQ(failed, 1);
  }
}

TEST(ParseProfile, ReportsTheFirstProblem) {
  struct Case {
    const char* json;
    const char* error;
  };
  const Case cases[] = {
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
  for (const Case& c : cases) {
    std::string error;
    EXPECT_FALSE(ParseProfile(c.json, &error).has_value()) << c.json;
    EXPECT_THAT(error, HasSubstr(c.error)) << c.json;
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
