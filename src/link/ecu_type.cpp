#include "link/ecu_type.h"

#include <algorithm>
#include <cctype>

namespace kline {

namespace {

struct TypeRow {
  EcuType type;
  std::string_view name;
  std::string_view code;
};

constexpr TypeRow kRows[] = {
    {EcuType::k15m, "15m", "1"},
    {EcuType::kP8, "P8", "2"},
    {EcuType::k16m, "16m", "3"},
    {EcuType::k15Rc, "15Rc", "4"},
};

const TypeRow& Row(EcuType type) {
  for (const TypeRow& row : kRows) {
    if (row.type == type) return row;
  }
  return kRows[0];
}

}  // namespace

std::string_view EcuTypeName(EcuType type) { return Row(type).name; }
std::string_view EcuTypeCode(EcuType type) { return Row(type).code; }

std::optional<EcuType> EcuTypeFromName(std::string_view name) {
  const auto lower = [](char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  };
  for (const TypeRow& row : kRows) {
    if (std::ranges::equal(row.name, name, {}, lower, lower)) return row.type;
  }
  return std::nullopt;
}

std::optional<EcuType> EcuTypeFromCode(std::string_view code) {
  for (const TypeRow& row : kRows) {
    if (row.code == code) return row.type;
  }
  return std::nullopt;
}

}  // namespace kline
