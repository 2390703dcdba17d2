#include "link/trace.h"

#include <algorithm>
#include <cstdio>

#include "link/csv.h"

namespace kline {

const char* TraceDirWord(TraceEntry::Dir dir) {
  switch (dir) {
    case TraceEntry::Dir::kPcSent:
      return "pc";
    case TraceEntry::Dir::kEcho:
      return "echo";
    case TraceEntry::Dir::kEcuSent:
      break;
  }
  return "ecu";
}

int64_t ByteTimeUs(int32_t baud) {
  const int64_t rate = std::max<int64_t>(baud, 1);
  return (10'000'000 + rate / 2) / rate;
}

std::string HexByte(uint8_t byte) {
  char text[3];
  std::snprintf(text, sizeof text, "%02X", byte);
  return text;
}

std::string TraceCsvHead(EcuType type) {
  return std::string(kTraceCsvHeader) + "\n" +
         TraceCsvRow(TraceNote{0, kTraceTypeNote + std::string(EcuTypeName(type))}) + "\n";
}

std::string TraceCsvRow(const TraceEntry& entry) {
  char row[80];
  std::snprintf(row, sizeof row, "%lld,%s,%02X,%d,%d,", static_cast<long long>(entry.time_us),
                TraceDirWord(entry.dir), entry.byte, entry.baud, entry.garbled ? 1 : 0);
  return row;
}

std::string TraceCsvRow(const TraceNote& note) {
  return std::to_string(note.time_us) + ",note,,,," + CsvField(note.text);
}

std::string TraceCsvRows(const std::vector<TraceEntry>& entries, size_t* next_entry,
                         const std::vector<TraceNote>& notes, size_t* next_note,
                         int64_t before_us) {
  std::string out;
  while (true) {
    const bool entry_ready =
        *next_entry < entries.size() && entries[*next_entry].time_us < before_us;
    const bool note_ready = *next_note < notes.size() && notes[*next_note].time_us < before_us;
    if (!entry_ready && !note_ready) break;
    if (entry_ready && (!note_ready || entries[*next_entry].time_us <= notes[*next_note].time_us)) {
      out += TraceCsvRow(entries[(*next_entry)++]);
    } else {
      out += TraceCsvRow(notes[(*next_note)++]);
    }
    out += '\n';
  }
  return out;
}

bool StartsConversation(std::string_view note) {
  return note == kTracePortOpenedNote || note == kTraceConnectionNote;
}

}  // namespace kline
