// The four ECU types the user can pick, with their settings-file codes and captions.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kline {

enum class EcuType { k15m, k15Rc, k16m, kP8 };

inline constexpr EcuType kAllEcuTypes[] = {EcuType::k15m, EcuType::k15Rc, EcuType::k16m,
                                           EcuType::kP8};

// "15m", "15Rc", "16m", "P8".
std::string_view EcuTypeName(EcuType type);
// Whatever the case: "p8" and "15RC" are typed as often as "P8" and "15Rc".
std::optional<EcuType> EcuTypeFromName(std::string_view name);
// Settings-file value: "1" 15m, "2" P8, "3" 16m, "4" 15Rc.
std::string_view EcuTypeCode(EcuType type);
std::optional<EcuType> EcuTypeFromCode(std::string_view code);

}  // namespace kline
