// Texts a user can type or a reply can hold: the custom test code, hexadecimal digits into
// bits, the leading number of a field, and the port field.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "link/numbers.h"
#include "link/port_name.h"
#include "service/actuator_tests.h"
#include "service/fault_texts.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  kline::ParseCustomCode(text);
  const std::string bits = kline::HexToBits(text);
  if (bits.size() != 4 * size) std::abort();
  kline::DecodeFaultBits(kline::FaultTable::kStatusByte, bits);
  kline::DecodeFaultBits(kline::FaultTable::kFaultByte1, bits);
  kline::RoundHalfEven(kline::LeadingNumber(text));
  kline::PortPath(std::string(text));
  return 0;
}
