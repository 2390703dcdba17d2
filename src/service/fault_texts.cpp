#include "service/fault_texts.h"

#include <algorithm>

namespace kline {

namespace {

constexpr SingleTextTable kFaultByte1 = {
    "VAE blocked open or closed",
    "Mixure ratio at limit range",
    "Air temperature sensor",
    "Knock",
    "Water temperature",
    "Lamba sensor disconnected or faulty",
    "Pressure sensor",
    "throttle valve position sensor",
};

constexpr SingleTextTable kFaultByte2 = {
    "Cam sensor",           "Signal panel sequence", "Eprom",      "EEprom",
    "Neutral/drive signal", "Digimatic signal",      "Ram memory", "Smot sensor",
};

constexpr PairTextTable kFaultByte3 = {
    "Maximun enrichment",
    "Maximun leaning down",
    "Air temp sensor o.c",
    "Air temp sensor s.c",
    "Water temp sensor o.c",
    "Water temp sensor s.c",
    "Throttle valve potentiometer o.c",
    "Throttle valve potentiometer s.c",
    "Arrival of 6 Smot s.c",
    "Arrival of 6 Smot s.c",
    "Smot o.c",
    "Smot s.c",
    "Cam o.c",
    "Cam s.c",
    "Pressure sensor o.c",
    "Pressure sensor s.c",
};

constexpr PairTextTable kStatusByte = {
    "Power On,no digimatic gear change",
    "Power On,no digimatic gear change",
    "Decrease in advance for detonation",
    "No decrease in advance for detonation",
    "Awaiting recognition of signal panel",
    "Signal panel OK",
    "Partialised",
    "Throttle valve minimum or partial open",
    "ABS not active",
    "ABS active",
    "Absence of conditioner command",
    "Conditionner active",
    "Neutral position",
    "Drive position",
    "VAE normal operation",
    "Sel cleaning underway",
};

bool BitSet(std::string_view bits, int row) {
  return row < static_cast<int>(bits.size()) && bits[row] == '1';
}

// Indexed by character code; filled once, on the first conversion.
using DigitTable = std::array<std::string_view, 256>;

DigitTable BuildDigitTable() {
  static constexpr std::string_view kNibbles[16] = {
      "0000", "0001", "0010", "0011", "0100", "0101", "0110", "0111",
      "1000", "1001", "1010", "1011", "1100", "1101", "1110", "1111",
  };
  DigitTable table;
  table.fill(kNibbles[0]);
  for (int d = 0; d < 10; ++d) table['0' + d] = kNibbles[d];
  for (int d = 0; d < 6; ++d) {
    table['A' + d] = kNibbles[10 + d];
    table['a' + d] = kNibbles[10 + d];
  }
  return table;
}

}  // namespace

const SingleTextTable& FaultTexts::FaultByte1Texts() { return kFaultByte1; }
const SingleTextTable& FaultTexts::FaultByte2Texts() { return kFaultByte2; }
const PairTextTable& FaultTexts::FaultByte3Texts() { return kFaultByte3; }
const PairTextTable& FaultTexts::StatusByteTexts() { return kStatusByte; }

std::vector<std::string_view> SetBitLines(const SingleTextTable& table, std::string_view bits) {
  std::vector<std::string_view> lines;
  for (int row = 0; row < kFaultRows; ++row) {
    if (BitSet(bits, row)) lines.push_back(table[row]);
  }
  return lines;
}

std::vector<std::string_view> EveryBitLines(const PairTextTable& table, std::string_view bits) {
  std::vector<std::string_view> lines;
  lines.reserve(kFaultRows);
  for (int row = 0; row < kFaultRows; ++row) {
    lines.push_back(table[2 * row + (BitSet(bits, row) ? 1 : 0)]);
  }
  return lines;
}

std::vector<std::string_view> DecodeFaultBits(FaultTable table, std::string_view bits) {
  switch (table) {
    case FaultTable::kFaultByte1:
      return SetBitLines(FaultTexts::FaultByte1Texts(), bits);
    case FaultTable::kFaultByte2:
      return SetBitLines(FaultTexts::FaultByte2Texts(), bits);
    case FaultTable::kFaultByte3:
      return EveryBitLines(FaultTexts::FaultByte3Texts(), bits);
    case FaultTable::kStatusByte:
      return EveryBitLines(FaultTexts::StatusByteTexts(), bits);
  }
  return {};
}

int FaultByteView::FaultCount() const {
  if (!set_bit_names_fault) return 0;
  return static_cast<int>(
      std::count_if(bits.begin(), bits.end(), [](const FaultBit& b) { return b.set; }));
}

FaultByteView ViewFaultByte(FaultTable table, std::string_view answer_hex) {
  const bool single = table == FaultTable::kFaultByte1 || table == FaultTable::kFaultByte2;
  FaultByteView view{.value = std::nullopt, .set_bit_names_fault = single, .bits = {}};
  const std::string bits = HexToBits(answer_hex);
  uint8_t value = 0;
  for (int row = 0; row < kFaultRows; ++row) {
    const bool set = BitSet(bits, row);
    if (set) value |= static_cast<uint8_t>(0x80 >> row);
    std::string_view text;
    switch (table) {
      case FaultTable::kFaultByte1:
        text = kFaultByte1[row];
        break;
      case FaultTable::kFaultByte2:
        text = kFaultByte2[row];
        break;
      case FaultTable::kFaultByte3:
        text = kFaultByte3[2 * row + (set ? 1 : 0)];
        break;
      case FaultTable::kStatusByte:
        text = kStatusByte[2 * row + (set ? 1 : 0)];
        break;
    }
    view.bits[row] = FaultBit{.bit = kFaultRows - 1 - row, .set = set, .text = text};
  }
  if (!answer_hex.empty()) view.value = value;
  return view;
}

std::string HexToBits(std::string_view hex) {
  static const DigitTable kDigits = BuildDigitTable();
  std::string bits;
  bits.reserve(hex.size() * 4);
  for (char c : hex) bits += kDigits[static_cast<unsigned char>(c)];
  return bits;
}

}  // namespace kline
