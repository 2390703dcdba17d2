// The fixed catalogue of fault and status texts, the two rules that turn the bits of a record
// byte into lines of it, and `HexToBits`, which turns reply digits into those bits.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kline {

// Row k (from 0) of every table belongs to bit 7 - k of the record byte: mask 0x80 >> k.
inline constexpr int kFaultRows = 8;

// One text per row: a set bit names a faulty circuit.
using SingleTextTable = std::array<std::string_view, kFaultRows>;
// Two texts per row, the bit value running faster: [2k] for a clear bit, [2k + 1] for a set one.
using PairTextTable = std::array<std::string_view, 2 * kFaultRows>;

// Which table (and with it which rule) explains a record byte.
enum class FaultTable { kFaultByte1, kFaultByte2, kFaultByte3, kStatusByte };

class FaultTexts {
 public:
  static const SingleTextTable& FaultByte1Texts();
  static const SingleTextTable& FaultByte2Texts();
  static const PairTextTable& FaultByte3Texts();
  static const PairTextTable& StatusByteTexts();
};

// Set-bit rule: the text of every row whose bit character is '1', in row order.
std::vector<std::string_view> SetBitLines(const SingleTextTable& table, std::string_view bits);
// Every-bit rule: one text per row, the set text for '1' and the clear text otherwise (a
// missing character counts as clear).
std::vector<std::string_view> EveryBitLines(const PairTextTable& table, std::string_view bits);
// The lines of `table` under its own rule: set-bit for the two single-text tables, every-bit
// for the two pair tables. Only the first eight bit characters are looked at.
std::vector<std::string_view> DecodeFaultBits(FaultTable table, std::string_view bits);

// What the buttons' places hold, in one line for the fault view: the names say which memory each
// place is; what each bit means is in the tables, and nothing more is known for sure.
inline constexpr std::string_view kFaultPlacesLine =
    "Uniram = the ECU's working memory (RAM), Cuneep and Unieep = its EEPROM, kept with the "
    "ignition off; bytes 1 and 2 name a faulty circuit by a set bit, byte 3 and the status byte "
    "(Unirams) give one of two texts per bit.";

// One bit of a record byte as the fault view shows it: the text for the bit's state (for the
// set-bit tables the circuit's text whatever the state).
struct FaultBit {
  int bit;  // 7 (mask 0x80) down to 0
  bool set;
  std::string_view text;
};

// A record byte read, taken apart for the fault view.
struct FaultByteView {
  std::optional<uint8_t> value;  // absent: the ECU did not answer
  bool set_bit_names_fault;      // bytes 1 and 2: a set bit is a faulty circuit
  std::array<FaultBit, kFaultRows> bits;
  // Set bits of a byte 1 or 2: the number of faulty circuits; 0 for the other tables.
  int FaultCount() const;
};

// `answer_hex` is the answer as the buttons give it: two hexadecimal digits, empty for none.
FaultByteView ViewFaultByte(FaultTable table, std::string_view answer_hex);

// Four '0'/'1' characters per hexadecimal digit, most significant bit first, either letter
// case: "a5" gives "10100101". A character that is not a hexadecimal digit gives "0000", so
// every later digit keeps its position.
std::string HexToBits(std::string_view hex);

}  // namespace kline
