// The one CSV dialect of every file the program writes and reads (traces, recordings, the
// line monitor's file): fields apart by one separator, a field quoted when it holds the
// separator, a quote, a line break or blanks at its ends, quotes inside doubled. A quoted
// field may run over several lines.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kline {

// `text` as one field: as it stands, or quoted.
std::string CsvField(std::string_view text, char separator = ',');

// Splits records fed line by line, reusing its memory from one record to the next.
class CsvSplitter {
 public:
  // Fields beyond `max_fields` are dropped, so a hostile line costs no more than its length;
  // a record longer than `max_chars` is refused.
  explicit CsvSplitter(char separator = ',', size_t max_fields = 1024, size_t max_chars = 1 << 20)
      : separator_(separator), max_fields_(max_fields), max_chars_(max_chars) {}

  void set_separator(char separator) { separator_ = separator; }

  enum class Result { kRecord, kGoesOn, kTooLong };
  // One line without its line break. kRecord: fields() holds the record; kGoesOn: a quoted
  // field runs on into the next line; kTooLong: the record was dropped.
  Result Feed(std::string_view line);
  std::span<const std::string> fields() const { return {fields_.data(), count_}; }
  // The input ended inside a quoted field.
  bool open() const { return open_; }

 private:
  void StartField();

  char separator_;
  size_t max_fields_;
  size_t max_chars_;
  std::vector<std::string> fields_;
  size_t count_ = 0;
  size_t chars_ = 0;
  bool open_ = false;      // inside a quoted field
  bool dropping_ = false;  // past max_fields
};

}  // namespace kline
