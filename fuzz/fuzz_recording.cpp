// A recording file as anyone may hand it to the chart: the reader must take it whole or in
// pieces of any size with the same result, and stay within its bounds.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "record/csv_recording.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const kline::CsvRecording whole = kline::ParseRecording(text);

  const size_t piece = size == 0 ? 1 : 1 + data[0] % 16;
  kline::RecordingParser parser;
  for (size_t at = 0; at < size; at += piece) parser.Feed(text.substr(at, piece));
  const kline::CsvRecording pieces = parser.Finish();

  if (pieces.rows != whole.rows || pieces.skipped_lines != whole.skipped_lines ||
      pieces.columns.size() != whole.columns.size() || pieces.comments != whole.comments) {
    std::abort();
  }
  if (whole.columns.size() > static_cast<size_t>(kline::kMaxColumns)) std::abort();
  if (whole.rows == 0 && whole.error.isEmpty()) std::abort();
  for (size_t c = 0; c < whole.columns.size(); ++c) {
    if (whole.columns[c].points != pieces.columns[c].points) std::abort();
    if (whole.columns[c].points.size() > kline::kMaxKeptRows) std::abort();
  }
  return 0;
}
