#include "record/line_history.h"

#include <algorithm>

#include "link/save_file.h"
#include "link/trace.h"

namespace kline {

void LineHistory::Add(const std::vector<LineEntry>& entries) {
  for (const LineEntry& entry : entries) {
    if (connections_.empty() || (connections_.back().total > 0 && last_time_us_ > entry.time_us)) {
      connections_.push_back(Connection{next_serial_++, {}, 0});
      if (connections_.size() > kOpeningsKept) connections_.pop_front();
    }
    Connection& now = connections_.back();
    if (now.opening.size() < kOpeningEntries) {
      now.opening.reserve(kOpeningEntries);
      now.opening.push_back(entry);
    } else {
      recent_.push_back(Recent{now.serial, now.total, entry});
      if (recent_.size() > recent_capacity_) recent_.pop_front();
    }
    ++now.total;
    last_time_us_ = entry.time_us;
  }
}

void LineHistory::Clear() {
  connections_.clear();
  recent_.clear();
}

size_t LineHistory::size() const {
  size_t n = recent_.size();
  for (const Connection& c : connections_) n += c.opening.size();
  return n;
}

std::string LineHistory::CsvRows() const {
  std::string rows;
  int64_t offset_us = 0;
  int64_t last_us = 0;
  auto recent = recent_.begin();
  const auto row = [&](const LineEntry& entry) {
    LineEntry shifted = entry;
    shifted.time_us += offset_us;
    last_us = shifted.time_us;
    rows += LineCsvRow(shifted) + "\n";
  };
  const auto note = [&](int64_t time_us, const std::string& text) {
    rows += TraceCsvRow(TraceNote{time_us, text}) + "\n";
  };
  for (const Connection& c : connections_) {
    if (c.serial != connections_.front().serial) offset_us = last_us + kBetweenConnectionsUs;
    note(offset_us, kTraceConnectionNote);
    for (const LineEntry& entry : c.opening) row(entry);
    // Recent entries of connections forgotten since are older than this one's.
    while (recent != recent_.end() && recent->serial < c.serial) ++recent;
    const uint64_t resumes_at =
        recent != recent_.end() && recent->serial == c.serial ? recent->index : c.total;
    if (resumes_at > c.opening.size()) {
      const int64_t at_us = resumes_at < c.total ? recent->entry.time_us + offset_us : last_us;
      note(std::max(at_us, last_us),
           std::string(kTraceLeftOutNote) + std::to_string(resumes_at - c.opening.size()));
    }
    for (; recent != recent_.end() && recent->serial == c.serial; ++recent) row(recent->entry);
  }
  return rows;
}

bool LineHistory::Save(const QString& path, QString* error) const {
  QString reason;
  if (SaveWholeFile(path, std::string(kTraceCsvHeader) + "\n" + CsvRows(), &reason)) return true;
  if (error) *error = reason;
  return false;
}

}  // namespace kline
