// What the command-line tool prints: numbers with "." whatever the locale, live samples as
// aligned columns, and the fault memory as one JSON document.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "link/ecu_type.h"
#include "link/trace_reader.h"
#include "service/fault_memory.h"
#include "session/live_sample.h"

namespace kline::cli {

using ChannelSet = std::array<bool, kChannelCount>;

// Up to three decimals, trailing zeros dropped: 13.4, 1250, 2.125.
std::string PointNumber(double value);
// The column names of LiveLine, aligned with it.
std::string LiveHeadLine(const ChannelSet& channels);
// Seconds since `first_us` and the value of each chosen channel ("-" for none).
std::string LiveLine(const LiveSample& sample, int64_t first_us, const ChannelSet& channels);

// The answers of kFaultButtons in order; empty: the ECU did not answer that one.
using FaultAnswers = std::array<QString, kFaultButtons.size()>;

// Every byte with its request, answer (digits and value) and decoded texts, beside the ECU's
// type and identification, when it was read and by which program.
QByteArray FaultsJson(EcuType type, const EcuIdentification& identification,
                      const QDateTime& read_at, const FaultAnswers& answers);

// A trace as the trace command prints it, as aligned text or one JSON document: each byte and
// note in the file's order, each byte with its gap and mark, and the counts of each mark first.
// It goes to `write` in pieces of some kilobytes, so that a long trace is never held twice;
// false as soon as `write` refuses a piece.
bool WriteTrace(const QString& name, const TraceFile& trace, bool json,
                const std::function<bool(std::string_view)>& write);

}  // namespace kline::cli
