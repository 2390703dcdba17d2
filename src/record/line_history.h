// A session's bytes for as long as it runs, in bounded memory: the opening of each
// connection (the port's opening, the key-on bytes, the wake-up and the identification) and
// the most recent bytes, with a note where bytes were left out between them. Both halves
// matter to whoever reads a trace later: the opening says how the ECU was reached and lets
// the simulator replay it, the recent bytes say what happened last.
#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "record/line_log.h"

namespace kline {

class LineHistory {
 public:
  // Far more than a wake-up and an identification take (about 80 bytes, a P8's repeated
  // texts a few hundred), so the first live steps are there too.
  static constexpr size_t kOpeningEntries = 2000;
  // Connections whose opening is kept; an older one is forgotten whole.
  static constexpr size_t kOpeningsKept = 8;
  // Between connections in the written trace, whose times restart at each opening.
  static constexpr int64_t kBetweenConnectionsUs = 1'000'000;

  explicit LineHistory(size_t recent_capacity) : recent_capacity_(recent_capacity) {}

  // Entries in the line monitor's order. Their times count from the port's opening, so one
  // earlier than the entry before starts a new connection.
  void Add(const std::vector<LineEntry>& entries);
  void Clear();
  bool empty() const { return connections_.empty(); }
  // Entries held, for the memory they take (about 40 bytes each).
  size_t size() const;

  // The trace rows, without header: each connection after a "port opened" note at its start,
  // its opening, a note counting the bytes left out where there are any, then its recent
  // bytes; later connections' times are shifted to follow the earlier ones.
  std::string CsvRows() const;
  // The trace layout's header and CsvRows, written whole; false with `error` set.
  bool Save(const QString& path, QString* error) const;

 private:
  struct Connection {
    uint64_t serial = 0;
    std::vector<LineEntry> opening;
    uint64_t total = 0;  // entries ever added to it
  };
  struct Recent {
    uint64_t serial = 0;
    uint64_t index = 0;  // within its connection
    LineEntry entry;
  };

  size_t recent_capacity_;
  std::deque<Connection> connections_;
  std::deque<Recent> recent_;
  uint64_t next_serial_ = 0;
  int64_t last_time_us_ = 0;
};

}  // namespace kline
