#include "link/trace_reader.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <memory>
#include <unordered_map>

#include "link/csv.h"
#include "link/tar_archive.h"

namespace kline {

namespace {

constexpr std::array kDirs = {TraceEntry::Dir::kPcSent, TraceEntry::Dir::kEcho,
                              TraceEntry::Dir::kEcuSent};

constexpr size_t kFields = 6;

std::string Quoted(std::string_view text) {
  // Enough of the field to recognise it, never the whole of a hostile line.
  constexpr size_t kShown = 24;
  std::string shown(text.substr(0, kShown));
  for (char& c : shown) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return "\"" + shown + (text.size() > kShown ? "...\"" : "\"");
}

// Digits only: no sign, no spaces, no exponent.
template <typename Int>
bool Whole(std::string_view text, Int* value) {
  if (text.empty() || text.size() > 19 || text[0] < '0' || text[0] > '9') return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value);
  return error == std::errc() && end == text.data() + text.size();
}

bool HexByteField(std::string_view text, uint8_t* value) {
  if (text.empty() || text.size() > 2) return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value, 16);
  return error == std::errc() && end == text.data() + text.size();
}

class Reader {
 public:
  explicit Reader(std::string* error) : error_(error) {}

  bool Line(size_t number, std::string_view line) {
    line_ = number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.size() > kMaxTraceLineChars) {
      return Fail("longer than " + std::to_string(kMaxTraceLineChars) + " characters");
    }
    if (number == 1) {
      constexpr std::string_view kBom = "\xEF\xBB\xBF";
      if (line.substr(0, kBom.size()) == kBom) line.remove_prefix(kBom.size());
      if (line == kTraceCsvHeader) return true;
      return Fail(std::string("not a line trace: the first line must be ") + kTraceCsvHeader);
    }
    if (line.empty()) return true;
    if (trace_.rows.size() + trace_.notes.size() >= kMaxTraceRows) {
      return Fail("more than " + std::to_string(kMaxTraceRows) + " rows: too long to replay");
    }
    switch (splitter_.Feed(line)) {
      case CsvSplitter::Result::kGoesOn:
        return true;  // a quoted note over several lines
      case CsvSplitter::Result::kTooLong:
        return Fail("a note longer than " + std::to_string(kMaxTraceLineChars) + " characters");
      case CsvSplitter::Result::kRecord:
        break;
    }
    const std::span<const std::string> cells = splitter_.fields();
    if (cells.size() < kFields) {
      return Fail("truncated: " + std::to_string(cells.size()) + " fields where " +
                  std::to_string(kFields) + " belong");
    }
    // Commas in a note that was not quoted belong to the note.
    std::string note = cells[kFields - 1];
    for (size_t i = kFields; i < cells.size(); ++i) note += "," + cells[i];
    std::string_view fields[kFields];
    for (size_t i = 0; i + 1 < kFields; ++i) fields[i] = cells[i];
    return Row(fields, std::move(note));
  }

  std::optional<TraceFile> Finish() {
    if (line_ == 0) {
      *error_ = "empty: not a line trace";
      return std::nullopt;
    }
    if (splitter_.open()) {
      Fail("the note's quotes do not close");
      return std::nullopt;
    }
    return std::move(trace_);
  }

 private:
  bool Fail(const std::string& text) {
    *error_ = "line " + std::to_string(line_) + ": " + text;
    return false;
  }

  bool Row(const std::string_view (&fields)[kFields], std::string note) {
    int64_t time_us = 0;
    if (!Whole(fields[0], &time_us) || time_us > kMaxTraceTimeUs) {
      return Fail("time " + Quoted(fields[0]) + " is not a number of microseconds from 0 to " +
                  std::to_string(kMaxTraceTimeUs));
    }
    if (time_us < last_time_us_) {
      return Fail("time " + std::to_string(time_us) + " us is earlier than the " +
                  std::to_string(last_time_us_) + " us of the row before");
    }
    last_time_us_ = time_us;
    const std::string_view dir = fields[1];
    if (dir == "note") {
      // Only the simulator writes notes beyond the type (a support report's trace names it)
      // and the program's own two.
      if (note.starts_with(kTraceTypeNote)) {
        trace_.type = EcuTypeFromName(std::string_view(note).substr(sizeof kTraceTypeNote - 1));
      } else if (note != kTraceConnectionNote && !note.starts_with(kTraceLeftOutNote)) {
        trace_.ecu_times_at_start = true;
      }
      trace_.notes.push_back({TraceNote{time_us, std::move(note)}, line_});
      return true;
    }
    TraceEntry entry;
    entry.time_us = time_us;
    const auto known = std::ranges::find_if(kDirs, [&](auto d) { return dir == TraceDirWord(d); });
    if (known == kDirs.end()) {
      return Fail("unknown direction " + Quoted(dir) + ": pc, echo, ecu or note belong there");
    }
    entry.dir = *known;
    if (!HexByteField(fields[2], &entry.byte)) {
      return Fail("byte " + Quoted(fields[2]) + " is not one or two hexadecimal digits");
    }
    if (!Whole(fields[3], &entry.baud) || entry.baud < kMinTraceBaud ||
        entry.baud > kMaxTraceBaud) {
      return Fail("rate " + Quoted(fields[3]) + " is not a number of baud from " +
                  std::to_string(kMinTraceBaud) + " to " + std::to_string(kMaxTraceBaud));
    }
    if (fields[4] != "0" && fields[4] != "1") {
      return Fail("garbled " + Quoted(fields[4]) + " is neither 0 nor 1");
    }
    entry.garbled = fields[4] == "1";
    uint32_t label = 0;
    if (!note.empty()) {
      const auto [at, fresh] =
          label_index_.try_emplace(note, static_cast<uint32_t>(trace_.labels.size()));
      if (fresh) trace_.labels.push_back(std::move(note));
      label = at->second;
    }
    trace_.rows.push_back({entry, line_, label});
    return true;
  }

  std::string* error_;
  CsvSplitter splitter_{',', 64, kMaxTraceLineChars};
  size_t line_ = 0;
  int64_t last_time_us_ = 0;
  TraceFile trace_;
  std::unordered_map<std::string, uint32_t> label_index_;
};

}  // namespace

std::optional<TraceFile> ParseTrace(std::string_view text, std::string* error) {
  if (text.size() > kMaxTraceBytes) {
    *error = "larger than " + std::to_string(kMaxTraceBytes >> 20) + " MB: too long to replay";
    return std::nullopt;
  }
  Reader reader(error);
  size_t number = 0;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    if (!reader.Line(++number, text.substr(0, end))) return std::nullopt;
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  }
  return reader.Finish();
}

std::optional<TraceFile> LoadTrace(const std::string& path, std::string* error) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                       &std::fclose);
  if (!file) {
    *error = path + ": " + std::strerror(errno);
    return std::nullopt;
  }
  // Read in pieces up to one byte more than allowed, which is enough to refuse: the rest of
  // a huge file is never read, and a pipe works as well as a file.
  std::string text;
  char piece[65536];
  size_t n = 0;
  while (text.size() <= kMaxTraceBytes &&
         (n = std::fread(piece, 1, sizeof piece, file.get())) > 0) {
    text.append(piece, n);
  }
  if (std::ferror(file.get())) {
    *error = path + ": cannot be read";
    return std::nullopt;
  }
  // A support report carries its trace inside.
  std::string where = path;
  std::string_view body = text;
  if (text.size() <= kMaxTraceBytes && LooksLikeTar(text)) {
    const std::optional<std::string_view> member = FindTarMember(text, kArchivedTraceName, error);
    if (!member) {
      *error = path + ": " + *error;
      return std::nullopt;
    }
    body = *member;
    where += std::string(" (") + kArchivedTraceName + ")";
  }
  std::optional<TraceFile> trace = ParseTrace(body, error);
  if (!trace) *error = where + ": " + *error;
  return trace;
}

}  // namespace kline
