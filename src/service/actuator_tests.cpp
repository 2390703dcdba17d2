#include "service/actuator_tests.h"

namespace kline {

namespace {

constexpr int64_t kPassMs = 1000;

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool EndsWith(const std::string& text, std::string_view tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

std::optional<uint8_t> ParseCustomCode(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return std::nullopt;
  text = text.substr(first, text.find_last_not_of(" \t") - first + 1);
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
  }
  if (text.empty() || text.size() > 2) return std::nullopt;
  int value = 0;
  for (char c : text) {
    const int digit = HexDigitValue(c);
    if (digit < 0) return std::nullopt;
    value = value * 16 + digit;
  }
  return static_cast<uint8_t>(value);
}

std::string_view CustomCodeRefusal(std::string_view text) {
  const std::optional<uint8_t> code = ParseCustomCode(text);
  if (!code) return kCustomCodeRangeLine;
  if (*code == kEnterDiagnosticRequest) return kCustomCodeEnterLine;
  if (*code == kLeaveDiagnosticRequest) return kCustomCodeLeaveLine;
  return {};
}

ActuatorTests::ActuatorTests(KLinePort& port, ServiceHost& host) : port_(port), host_(host) {}

bool ActuatorTests::EnterDiagnosticMode() {
  Clock& clock = port_.clock();
  clock.SleepMs(kBeforeEnteringDiagnosticMs);
  if (port_.SendRequest(kEnterDiagnosticRequest, kEnterDiagnosticPauseMs,
                        kTestAnswerBoundMs + kEnterDiagnosticSettleMs)) {
    // From here on the ECU may be in diagnostic mode: the ending must send FF.
    mode_requested_ = true;
    clock.SleepMs(kEnterDiagnosticSettleMs);
    if (port_.WaitForCountTimed(2, kTestAnswerBoundMs, PollPause::k1msAround3,
                                kEnterDiagnosticRequest)) {
      const std::string reply = KLinePort::ToReplyHex(port_.ReadAll());
      if (reply == "AAFF" || reply == "AAAA") {
        host_.AppendLine("Enter in diagnostic mode OK");
        entered_ = true;
        return true;
      }
    }
  }
  clock.SleepMs(kAfterRefusedDiagnosticMs);
  host_.ShowStatusMessage(kNoDiagnosticModeMessage);
  Back();
  return false;
}

void ActuatorTests::Press(int index, std::string_view custom_text) {
  if (test_running_ || handed_back_) return;
  const ActuatorTestRow& row = kActuatorTests.at(index);
  switch (row.choice) {
    case TestChoice::kFixed:
      RunActuatorTest(row.request_a, row.name_a, row.duration);
      return;
    case TestChoice::kByGroup: {
      const std::optional<EcuType> type = host_.SelectedType();
      if (!type) return;
      const bool a = GroupOf(*type) == EcuGroup::k15;
      RunActuatorTest(a ? row.request_a : row.request_b, a ? row.name_a : row.name_b, row.duration);
      return;
    }
    case TestChoice::kCustom: {
      if (const std::string_view refusal = CustomCodeRefusal(custom_text); !refusal.empty()) {
        host_.AppendLine(refusal);
        host_.MoveCaretToEnd();
        host_.ReportVerdict(ServiceVerdict::kRefused);
        return;
      }
      RunActuatorTest(*ParseCustomCode(custom_text),
                      std::string(row.name_a) + std::string(custom_text), row.duration);
      return;
    }
  }
}

bool ActuatorTests::RunActuatorTest(uint8_t request, std::string_view log_name, int duration) {
  if (test_running_ || handed_back_) return false;
  test_running_ = true;
  verdict_.reset();
  host_.SetTestButtonsEnabled(false);

  SetValue(0);
  host_.ProcessPendingEvents();
  if (!back_requested_) {
    // A pulled cable is told apart from an ECU that keeps quiet, as in the passes below.
    const auto no_answer = [this] {
      if (port_.WasLost()) {
        Conclude(kPortLostLine, ServiceVerdict::kPortLost);
      } else {
        Conclude(kNoAnswerLine, ServiceVerdict::kNoAnswer);
      }
    };
    if (!port_.SendRequest(request, kTestRequestPauseMs, kTestAnswerBoundMs)) {
      no_answer();
    } else {
      host_.AppendLine(log_name);
      if (!port_.WaitForCountTimed(2, kTestAnswerBoundMs, PollPause::k3msThen1ms, request)) {
        no_answer();
      } else {
        const std::string reply = KLinePort::ToReplyHex(port_.ReadAll());
        host_.AppendLine(reply);
        if (EndsWith(reply, "FF")) {
          Conclude("Test finish", ServiceVerdict::kDone);
        } else {
          WaitTestResult(duration);
        }
      }
    }
    host_.MoveCaretToEnd();
  }

  // A test stopped by "Back", or ended by bytes that are no verdict, still ends.
  host_.ReportVerdict(verdict_.value_or(ServiceVerdict::kUnknown));
  test_running_ = false;
  host_.SetTestButtonsEnabled(true);
  if (back_requested_) Back();
  return true;
}

void ActuatorTests::WaitTestResult(int duration) {
  Clock& clock = port_.clock();
  maximum_ = static_cast<float>(duration);
  host_.SetMaximum(maximum_);
  std::string last_answer;
  while (maximum_ > value_) {
    host_.ProcessPendingEvents();
    if (back_requested_) {
      // The user wants out: no verdict, the port goes back as soon as the test unwinds.
      SetValue(0);
      return;
    }
    SetValue(value_ + 1);
    clock.SleepMs(kPassMs);
    if (port_.WasLost()) {
      // No answer can come any more: say so now rather than after the whole duration.
      Conclude(kPortLostLine, ServiceVerdict::kPortLost);
      SetValue(0);
      back_requested_ = true;
      return;
    }
    if (port_.IsOpen() && port_.PendingCount() >= 1) {
      last_answer = KLinePort::ToReplyHex(port_.ReadAll());
      host_.AppendLine(last_answer);
      // Several bytes may arrive in one pass ("00FF"): the last one is the ECU's latest word.
      if (EndsWith(last_answer, "FF")) {
        SetValue(maximum_);
        Conclude("Test finish", ServiceVerdict::kDone);
      } else if (EndsWith(last_answer, "EE")) {
        SetValue(maximum_);
        Conclude("Test failed", ServiceVerdict::kFailed);
      }
    }
    host_.Refresh();
  }
  if (last_answer.empty()) Conclude("Test unknown", ServiceVerdict::kUnknown);
  if (value_ == maximum_) SetValue(0);
}

void ActuatorTests::Back() {
  if (handed_back_) return;
  if (test_running_) {
    back_requested_ = true;
    return;
  }
  HandBack();
  host_.CloseWindow();
}

bool ActuatorTests::OnCloseBox() {
  if (handed_back_) return true;
  if (test_running_) {
    back_requested_ = true;
    return false;
  }
  HandBack();
  return true;
}

void ActuatorTests::LeaveDiagnosticMode() {
  if (!port_.IsOpen()) return;
  const EndingScope ending(port_.stop());
  const bool sent =
      port_.SendRequest(kLeaveDiagnosticRequest, kRequestPauseMs, kLeaveAnswerBoundMs);
  mode_requested_ = !sent;
  if (sent &&
      port_.WaitForCountTimed(2, kLeaveAnswerBoundMs, PollPause::k1msAround3,
                              kLeaveDiagnosticRequest) &&
      KLinePort::ToReplyHex(port_.ReadAll()) == "FFFF") {
    host_.AppendLine("Exit diagnostic mode OK");
  } else if (entered_) {
    // Live polling resumes either way; the user must know the ECU may not take part.
    host_.ShowStatusMessage(kStillInDiagnosticModeMessage);
  }
}

void ActuatorTests::HandBack() {
  handed_back_ = true;
  LeaveDiagnosticMode();
  host_.TimerOn(kHandBackInterval);
  host_.ShowMainWindow();
}

void ActuatorTests::Conclude(std::string_view line, ServiceVerdict verdict) {
  host_.AppendLine(line);
  if (!verdict_) verdict_ = verdict;
}

void ActuatorTests::SetValue(float value) {
  value_ = value;
  host_.SetValue(value_);
}

}  // namespace kline
