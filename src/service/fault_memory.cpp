#include "service/fault_memory.h"

#include "service/actuator_tests.h"

namespace kline {

FaultMemory::FaultMemory(KLinePort& port, ServiceHost& host) : port_(port), host_(host) {}

std::string FaultMemory::ReadFaultByte(uint8_t request) {
  // A closed port cannot answer; waiting out the bound would only freeze the window.
  if (!port_.IsOpen()) return {};
  // An ECU may send bytes after its answer; a read that follows at once would take them for
  // its echo. The pause every other request keeps, then the flush, let them go first.
  const ExchangeResult result = port_.ExchangeByte(Exchange{.request = request,
                                                            .count = 2,
                                                            .limit_ms = kFaultAnswerBoundMs,
                                                            .pause = PollPause::k3msThen1ms,
                                                            .pause_first_ms = kRequestPauseMs,
                                                            .check_echo = true});
  if (result.answer.size() < 2) return {};
  return result.answer.substr(0, 2);
}

std::string FaultMemory::Press(const FaultButton& button) {
  const std::string answer = ReadFaultByte(button.request);
  ServiceVerdict verdict = ServiceVerdict::kDone;
  if (answer.empty()) {
    // A pulled cable is told apart from an ECU that keeps quiet: no answer can come any more.
    verdict = port_.WasLost() ? ServiceVerdict::kPortLost : ServiceVerdict::kNoAnswer;
    host_.AppendLine(verdict == ServiceVerdict::kPortLost ? kPortLostLine : kNoAnswerLine);
  } else {
    for (std::string_view line : DecodeFaultBits(button.table, HexToBits(answer))) {
      host_.AppendLine(line);
    }
  }
  host_.MoveCaretToEnd();
  host_.ReportVerdict(verdict);
  return answer;
}

void FaultMemory::Back() {
  host_.TimerOn(kHandBackInterval);
  host_.ShowMainWindow();
}

void FaultMemory::OnCloseBox() {
  if (host_.MainWindowHidden()) Back();
}

}  // namespace kline
