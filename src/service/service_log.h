// The log of a service window (`Rtb1`): lines are added at the end, never by rewriting the
// text that is already there.
#pragma once

#include <string_view>

namespace kline {

// Written when a request gets no valid answer (time-out, wrong echo, port closed).
inline constexpr std::string_view kNoAnswerLine = "No answer from ECU";

class ServiceLog {
 public:
  virtual ~ServiceLog() = default;
  // Appends `text` followed by "\r\n" at the end of the log and moves the caret to the end.
  virtual void AppendLine(std::string_view text) = 0;
  // Moves the caret to the end so that the newest line is in view.
  virtual void MoveCaretToEnd() = 0;
};

}  // namespace kline
