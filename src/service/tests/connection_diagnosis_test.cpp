#include "service/connection_diagnosis.h"

#include <gtest/gtest.h>

namespace kline {
namespace {

TEST(ConnectionDiagnosisTest, WhatTheWireShowedPicksTheSentence) {
  struct Case {
    WireObservation seen;
    FailedStep step;
    ConnectionFinding finding;
    const char* words;
  };
  const Case cases[] = {
      {{.port_open = false, .sent = 3, .echoes = 3},
       FailedStep::kWakeUp,
       ConnectionFinding::kPortClosed,
       "not open"},
      {{.port_open = true},
       FailedStep::kWakeUp,
       ConnectionFinding::kNoBytes,
       "switch the ignition on"},
      {{.port_open = true, .sent = 2},
       FailedStep::kLiveData,
       ConnectionFinding::kNoBytes,
       "not even the echo"},
      {{.port_open = true, .sent = 3, .echoes = 3},
       FailedStep::kWakeUp,
       ConnectionFinding::kOnlyEchoes,
       "Check the ignition and the K-line wire"},
      {{.port_open = true, .sent = 2, .echoes = 1},
       FailedStep::kLiveData,
       ConnectionFinding::kOnlyEchoes,
       "does not answer"},
      {{.port_open = true, .others = 4, .others_baud = 1200},
       FailedStep::kWakeUp,
       ConnectionFinding::kUnexpectedBytes,
       "4 bytes came at 1200 baud that are not an identification"},
      {{.port_open = true, .sent = 3, .others = 3, .others_baud = 7812},
       FailedStep::kLiveData,
       ConnectionFinding::kNoEcho,
       "does not echo"},
      {{.port_open = true, .sent = 1, .echoes = 1, .others = 1, .others_baud = 7812},
       FailedStep::kLiveData,
       ConnectionFinding::kUnexpectedBytes,
       "not answers: the ECU"},
  };
  for (const Case& c : cases) {
    const ConnectionDiagnosis d = DiagnoseConnection(c.seen, c.step);
    EXPECT_EQ(d.finding, c.finding) << d.sentence;
    EXPECT_NE(d.sentence.find(c.words), std::string::npos) << d.sentence;
  }
}

}  // namespace
}  // namespace kline
