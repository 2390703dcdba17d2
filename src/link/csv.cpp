#include "link/csv.h"

namespace kline {

std::string CsvField(std::string_view text, char separator) {
  const bool plain =
      text.find_first_of(std::string{separator, '"', '\n', '\r'}) == std::string_view::npos &&
      (text.empty() || (text.front() != ' ' && text.back() != ' '));
  if (plain) return std::string(text);
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

void CsvSplitter::StartField() {
  if (count_ == max_fields_) {
    dropping_ = true;
    return;
  }
  if (count_ == fields_.size()) fields_.emplace_back();
  fields_[count_++].clear();
}

CsvSplitter::Result CsvSplitter::Feed(std::string_view line) {
  if (!open_) {
    count_ = 0;
    chars_ = 0;
    dropping_ = false;
    StartField();
  } else if (!dropping_) {
    fields_[count_ - 1] += '\n';
  }
  chars_ += line.size() + 1;
  if (chars_ > max_chars_) {
    open_ = false;
    return Result::kTooLong;
  }
  // A quote opens a field only at its start; after the closing quote, what comes before the
  // separator is kept as it stands.
  bool at_start = !open_;
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    std::string* field = dropping_ ? nullptr : &fields_[count_ - 1];
    if (open_) {
      if (c != '"') {
        if (field) *field += c;
      } else if (i + 1 < line.size() && line[i + 1] == '"') {
        if (field) *field += '"';
        ++i;
      } else {
        open_ = false;
      }
      continue;
    }
    if (c == separator_) {
      StartField();
      at_start = true;
      continue;
    }
    if (c == '"' && at_start) {
      open_ = true;
    } else if (field) {
      *field += c;
    }
    at_start = false;
  }
  return open_ ? Result::kGoesOn : Result::kRecord;
}

}  // namespace kline
