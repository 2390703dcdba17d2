// What a user sends us when their bike misbehaves: one file that `tar` or an archive manager
// opens, holding the line's recent bytes in the trace layout (which the simulator replays
// as it stands), the last minute of live values, the status messages with their times, the
// ECU's identification, the versions, the port's adapter and the settings. The window and
// the command-line tool feed one SupportLog from the same reports the engine gives them.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "link/ecu_type.h"
#include "record/line_history.h"
#include "session/live_sample.h"
#include "session/main_panel.h"

namespace kline {

// Said before saving, so that a user knows what leaves the computer.
inline constexpr char kSupportReportSentence[] =
    "The support report holds the opening of each connection and the last bytes on the line, "
    "the last minute of live values, the "
    "status messages, the ECU's identification, the program's, the system's and Qt's versions, "
    "the port's adapter name and the settings; nothing else from this computer.";

// What the log cannot know by itself; the caller gathers it when the report is written.
struct SupportContext {
  std::optional<EcuType> type;
  QString program;             // "kline-diag 1.2.0"
  QString port_field;          // as the user typed it
  QStringList identification;  // the info box's lines
  EcuIdentification facts;     // the same as values, for the recording's header
  QString settings;            // the settings file's text, or the command line
};

class SupportLog {
 public:
  // Minutes of polling (about 3 of a 15m) beside each connection's opening: enough to show
  // what led up to a fault, small enough to mail.
  static constexpr size_t kLineCapacity = 30000;
  static constexpr int64_t kSampleWindowUs = 60'000'000;
  static constexpr size_t kStatusCapacity = 200;

  // The line monitor's batches: the opening of each connection and the most recent bytes
  // are kept.
  void AddLine(const std::vector<LineEntry>& entries) { line_.Add(entries); }
  void AddSample(const LiveSample& sample);
  // Stamped with the time it came; empty texts (a message cleared) and the text kept last
  // (one message both shown and printed) are not kept.
  void AddStatus(const QString& text, const QDateTime& when = QDateTime::currentDateTime());

  // The archive's bytes.
  std::string Archive(const SupportContext& context, const QDateTime& now) const;
  // Writes the archive in one go (a file that is there is whole); false with `error` set.
  bool Save(const QString& path, const SupportContext& context, QString* error) const;

 private:
  LineHistory line_{kLineCapacity};
  std::deque<LiveSample> samples_;
  std::deque<std::pair<QDateTime, QString>> status_;
};

}  // namespace kline
