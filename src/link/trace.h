// The line trace: every byte on the simulated wire with its time, direction, rate and
// whether it arrived garbled, plus short notes on what the ECU made of it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "link/ecu_type.h"

namespace kline {

struct TraceEntry {
  // kPcSent and kEcuSent: when the byte began on the wire; kEcho: when the echo was
  // complete at the PC.
  int64_t time_us = 0;
  enum class Dir { kPcSent, kEcho, kEcuSent } dir = Dir::kPcSent;
  // What was sent (kPcSent, kEcuSent) or what the PC received (kEcho).
  uint8_t byte = 0;
  int32_t baud = 0;
  // kPcSent: the ECU could not hear it (rate mismatch, collision); kEcho: it differs from
  // what was sent; kEcuSent: the PC did not receive it as sent, or it is not what the ECU
  // meant to say (an injected garbage answer or stray byte).
  bool garbled = false;
  bool operator==(const TraceEntry&) const = default;
};

struct TraceNote {
  int64_t time_us = 0;
  std::string text;
  bool operator==(const TraceNote&) const = default;
};

// The direction as the trace layout writes it: "pc", "echo" or "ecu".
const char* TraceDirWord(TraceEntry::Dir dir);

// 10 bits (start, 8 data, stop) at `baud`, in microseconds, rounded.
int64_t ByteTimeUs(int32_t baud);

// A byte as two upper-case hex digits, for notes and rows.
std::string HexByte(uint8_t byte);

inline constexpr char kTraceCsvHeader[] = "time_us,dir,byte,baud,garbled,note";
// The note that says which ECU a trace comes from, so that a replay needs no --type.
inline constexpr char kTraceTypeNote[] = "ECU type ";

// The simulator's notes when the PC opens and closes the port: a conversation starts again
// at each opening.
inline constexpr char kTracePortOpenedNote[] = "PC side opened the port";
inline constexpr char kTracePortClosedNote[] = "PC side closed the port";
// The program's own notes in the line monitor's layout: where a connection starts (its
// times count from there), and where a long session's trace leaves bytes out, followed by
// their number, so that the bytes after it are not the continuation of those before. Any
// other note is the simulator's, whose trace stamps the ECU's bytes as they begin.
inline constexpr char kTraceConnectionNote[] = "port opened";
inline constexpr char kTraceLeftOutNote[] = "bytes left out: ";

// Either side's note that a conversation starts again.
bool StartsConversation(std::string_view note);
// The start of the simulator's note when the cable is pulled: nothing passes after it.
inline constexpr char kTraceCablePulledNote[] = "fault cable";

// The header line and a note naming the ECU type, each with its line break.
std::string TraceCsvHead(EcuType type);

// One CSV row each, without the line break.
std::string TraceCsvRow(const TraceEntry& entry);
std::string TraceCsvRow(const TraceNote& note);

// Writes entries and notes from the given positions on, in time order, as long as they are
// older than `before_us`; advances the positions past what it wrote.
std::string TraceCsvRows(const std::vector<TraceEntry>& entries, size_t* next_entry,
                         const std::vector<TraceNote>& notes, size_t* next_note, int64_t before_us);

}  // namespace kline
