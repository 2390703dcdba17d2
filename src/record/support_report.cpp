#include "record/support_report.h"

#include <QSysInfo>
#include <QtGlobal>

#include "link/port_list.h"
#include "link/port_name.h"
#include "link/save_file.h"
#include "link/tar_archive.h"
#include "link/trace_reader.h"
#include "record/csv_recorder.h"

namespace kline {

namespace {

std::string Text(const QString& text) { return text.toStdString(); }

// The port as the system lists it: its description and maker name the adapter.
std::string AdapterLabel(const QString& field) {
  const std::string typed = field.trimmed().toStdString();
  const std::optional<std::string> path = PortPath(typed);
  for (const PortChoice& port : ListPorts()) {
    if (port.field == typed || (path && PortPath(port.field) == path)) return port.label;
  }
  return typed + " (not in the system's list of serial ports)";
}

}  // namespace

void SupportLog::AddSample(const LiveSample& sample) {
  samples_.push_back(sample);
  while (samples_.front().time_us < sample.time_us - kSampleWindowUs) samples_.pop_front();
}

void SupportLog::AddStatus(const QString& text, const QDateTime& when) {
  if (text.isEmpty() || (!status_.empty() && status_.back().second == text)) return;
  status_.emplace_back(when, text);
  while (status_.size() > kStatusCapacity) status_.pop_front();
}

std::string SupportLog::Archive(const SupportContext& context, const QDateTime& now) const {
  const std::string type = context.type ? std::string(EcuTypeName(*context.type)) : "not chosen";

  std::string readme =
      std::string(kSupportReportSentence) +
      "\n\n"
      "trace.csv           the bytes on the line, in the line monitor's layout: each "
      "connection's opening and the latest bytes; "
      "kline-sim --replay plays the ECU's side of it (of this file as well)\n"
      "samples.csv         the last minute of live values, as a recording\n"
      "status.txt          the status messages with their times\n"
      "identification.txt  the ECU's identification, as the window showed it\n"
      "system.txt          versions, system and port\n"
      "settings.txt        the settings\n";

  std::string trace =
      context.type ? TraceCsvHead(*context.type) : std::string(kTraceCsvHeader) + "\n";
  trace += line_.CsvRows();

  RecordingHeader header;
  header.ecu_type = context.type ? type : std::string();
  header.iso_code = context.facts.iso_code.value_or("");
  header.ecu_data = context.facts.ecu_data.value_or("");
  header.calibration = context.facts.calibration.value_or("");
  header.started = now;
  std::string samples = CsvHead(header);
  for (const LiveSample& sample : samples_) samples += CsvRow(sample, samples_.front().time_us);

  std::string status;
  for (const auto& [when, text] : status_) {
    status += Text(when.toString(Qt::ISODateWithMs)) + "  " + Text(text) + "\n";
  }
  // An empty file would look like one that was lost on the way.
  if (status_.empty()) status = "No status message since the start.\n";

  std::string identification;
  for (const QString& line : context.identification) identification += Text(line) + "\n";
  if (identification.empty()) identification = "Nothing of the identification was read.\n";

  const std::string system =
      "program: " + Text(context.program) + "\n" +
      "written: " + Text(now.toString(Qt::ISODateWithMs)) + "\n" +
      "system: " + Text(QSysInfo::prettyProductName()) + " (" + Text(QSysInfo::kernelType()) + " " +
      Text(QSysInfo::kernelVersion()) + ", " + Text(QSysInfo::currentCpuArchitecture()) + ")\n" +
      "Qt: " + qVersion() + " (built with " + QT_VERSION_STR + ")\n" + "ECU type: " + type + "\n" +
      "port: " + AdapterLabel(context.port_field) + "\n";

  return WriteTar({{"README.txt", readme},
                   {kArchivedTraceName, trace},
                   {"samples.csv", samples},
                   {"status.txt", status},
                   {"identification.txt", identification},
                   {"system.txt", system},
                   {"settings.txt", Text(context.settings)}},
                  now.toSecsSinceEpoch());
}

bool SupportLog::Save(const QString& path, const SupportContext& context, QString* error) const {
  return SaveWholeFile(path, Archive(context, QDateTime::currentDateTime()), error);
}

}  // namespace kline
