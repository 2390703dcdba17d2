#include "link/protocol.h"

#include <algorithm>

namespace kline {

namespace {

constexpr TypeSet TypesOf(EcuGroup group) {
  TypeSet types = 0;
  for (EcuType type : kAllEcuTypes) {
    if (GroupOf(type) == group) types |= TypeBit(type);
  }
  return types;
}

constexpr TypeSet k15 = TypesOf(EcuGroup::k15);
constexpr TypeSet k16 = TypesOf(EcuGroup::k16);
constexpr TypeSet kWoken = k15 | TypeBit(EcuType::k16m);  // P8 is never woken

constexpr RequestRow kRequests[] = {
    {Activity::kWakeUp, kWakeUpSequence[0], kWoken, "0F wake-up 1"},
    {Activity::kWakeUp, kWakeUpSequence[1], kWoken, "AA wake-up 2"},
    {Activity::kWakeUp, kWakeUpSequence[2], kWoken, "CC wake-up 3"},

    {Activity::kIdentification, 0x17, kEveryType, "17 ECU data character 1"},
    {Activity::kIdentification, 0x18, kEveryType, "18 ECU data character 2"},
    {Activity::kIdentification, 0x19, kEveryType, "19 ECU data character 3"},
    {Activity::kIdentification, 0x1A, kEveryType, "1A ECU data character 4"},
    {Activity::kIdentification, 0x1B, kEveryType, "1B ECU data character 5"},
    {Activity::kIdentification, 0x1C, kEveryType, "1C ECU data character 6"},
    {Activity::kIdentification, 0x1D, kEveryType, "1D ECU data character 7"},
    {Activity::kIdentification, 0x1E, kEveryType, "1E ECU data character 8"},
    {Activity::kIdentification, 0x1F, kEveryType, "1F ECU data character 9"},
    {Activity::kIdentification, 0x20, kEveryType, "20 ECU data character 10"},
    {Activity::kIdentification, 0x21, kEveryType, "21 calibration character 1"},
    {Activity::kIdentification, 0x22, kEveryType, "22 calibration character 2"},
    {Activity::kIdentification, 0x23, kEveryType, "23 calibration character 3"},
    {Activity::kIdentification, 0x24, kEveryType, "24 calibration character 4"},
    {Activity::kIdentification, 0x25, kEveryType, "25 calibration character 5"},
    {Activity::kIdentification, 0x26, kEveryType, "26 calibration character 6"},
    {Activity::kIdentification, 0x27, kEveryType, "27 calibration character 7"},
    {Activity::kIdentification, 0x28, kEveryType, "28 calibration character 8"},

    {Activity::kLiveData, 0x01, kEveryType, "01 engine speed, first byte"},
    {Activity::kLiveData, 0x02, kEveryType, "02 engine speed, second byte"},
    {Activity::kLiveData, 0x03, kEveryType, "03 injection time, first byte"},
    {Activity::kLiveData, 0x04, kEveryType, "04 injection time, second byte"},
    {Activity::kLiveData, 0x05, kEveryType, "05 ignition advance"},
    {Activity::kLiveData, 0x06, kEveryType, "06 manifold pressure"},
    {Activity::kLiveData, 0x07, kEveryType, "07 air temperature"},
    {Activity::kLiveData, 0x08, kEveryType, "08 coolant temperature"},
    {Activity::kLiveData, 0x09, kEveryType, "09 throttle angle"},
    {Activity::kLiveData, 0x0A, kEveryType, "0A battery voltage"},
    {Activity::kLiveData, 0x0B, k16, "0B trimmer (16m, P8)"},
    {Activity::kLiveData, 0x0F, k15, "0F trimmer (15m, 15Rc)"},

    {Activity::kActuatorTests15, kEnterDiagnosticRequest, k15, "AA enter diagnostic mode"},
    {Activity::kActuatorTests15, kLeaveDiagnosticRequest, k15, "FF leave diagnostic mode"},
    {Activity::kActuatorTests15, kTestRequests15.fuel_pump, k15, "80 fuel pump test"},
    {Activity::kActuatorTests15, kTestRequests15.coil_1, k15, "81 coil 1 test"},
    {Activity::kActuatorTests15, kTestRequests15.coil_2, k15, "82 coil 2 test"},
    {Activity::kActuatorTests15, kTestRequests15.clear_faults, k15, "83 clear fault memory"},
    {Activity::kActuatorTests15, kTestRequests15.rev_counter, k15, "85 rev counter test"},
    {Activity::kActuatorTests15, kTestRequests15.injector_1, k15, "86 injector 1 test"},
    {Activity::kActuatorTests15, kTestRequests15.injector_2, k15, "87 injector 2 test"},

    {Activity::kActuatorTests16, kEnterDiagnosticRequest, k16, "AA enter diagnostic mode"},
    {Activity::kActuatorTests16, kLeaveDiagnosticRequest, k16, "FF leave diagnostic mode"},
    {Activity::kActuatorTests16, kTestRequests16.fuel_pump, k16, "80 fuel pump test"},
    {Activity::kActuatorTests16, kTestRequests16.injector_1, k16, "81 injector 1 test"},
    {Activity::kActuatorTests16, kTestRequests16.coil_1, k16, "82 coil 1 test"},
    {Activity::kActuatorTests16, kTestRequests16.coil_2, k16, "83 coil 2 test"},
    {Activity::kActuatorTests16, kTestRequests16.clear_faults, k16, "84 clear fault memory"},
    {Activity::kActuatorTests16, kTestRequests16.rev_counter, k16, "86 rev counter test"},
    {Activity::kActuatorTests16, kTestRequests16.injector_2, k16, "87 injector 2 test"},

    {Activity::kFaultMemory, kUniramRequests.byte_1, kEveryType, "0F Uniram1: faults now, byte 1"},
    {Activity::kFaultMemory, kUniramRequests.byte_2, kEveryType, "10 Uniram2: faults now, byte 2"},
    {Activity::kFaultMemory, kUniramRequests.directions, kEveryType,
     "11 Uniram3: faults now, directions"},
    {Activity::kFaultMemory, kFaultStatusRequest, kEveryType, "15 Unirams: status byte"},
    {Activity::kFaultMemory, kCuneepRequests.byte_1, kEveryType,
     "16 Cuneep1: stored faults, byte 1"},
    {Activity::kFaultMemory, kCuneepRequests.byte_2, kEveryType,
     "17 Cuneep2: stored faults, byte 2"},
    {Activity::kFaultMemory, kCuneepRequests.directions, kEveryType,
     "18 Cuneep3: stored faults, directions"},
    {Activity::kFaultMemory, kUnieepARequests.byte_1, kEveryType,
     "1D Unieep1A: stored faults, byte 1"},
    {Activity::kFaultMemory, kUnieepARequests.byte_2, kEveryType,
     "1E Unieep2A: stored faults, byte 2"},
    {Activity::kFaultMemory, kUnieepARequests.directions, kEveryType,
     "1F Unieep3A: stored faults, directions"},
};

// Each label starts with its own byte: the line monitor shows the label, the wire the byte.
constexpr bool LabelsStartWithTheirBytes() {
  constexpr std::string_view kDigits = "0123456789ABCDEF";
  for (const RequestRow& row : kRequests) {
    if (row.label.size() < 3 || row.label[0] != kDigits[row.request >> 4] ||
        row.label[1] != kDigits[row.request & 0x0F] || row.label[2] != ' ') {
      return false;
    }
  }
  return true;
}
static_assert(LabelsStartWithTheirBytes());

// The identification rows are the ECU data's requests and then the calibration's, in order.
constexpr bool IdentificationRowsAreTheTexts() {
  int next = kEcuDataRequests.first;
  for (const RequestRow& row : kRequests) {
    if (row.activity != Activity::kIdentification) continue;
    if (next == kEcuDataRequests.last + 1) next = kCalibrationRequests.first;
    if (row.request != next++) return false;
  }
  return next == kCalibrationRequests.last + 1;
}
static_assert(IdentificationRowsAreTheTexts());

constexpr bool HasRow(Activity activity, uint8_t request, TypeSet types) {
  for (const RequestRow& row : kRequests) {
    if (row.activity == activity && row.request == request && (row.types & types) == types) {
      return true;
    }
  }
  return false;
}

// Every request a live channel sends has its row, for the types that send it.
constexpr bool ChannelsHaveTheirRows() {
  for (const ChannelColumn& channel : kChannelColumns) {
    if (!HasRow(Activity::kLiveData, channel.request, k15) ||
        !HasRow(Activity::kLiveData, channel.request_16m_p8, k16) ||
        (channel.second_request &&
         !HasRow(Activity::kLiveData, *channel.second_request, kEveryType))) {
      return false;
    }
  }
  return true;
}
static_assert(ChannelsHaveTheirRows());

}  // namespace

Activity ActuatorTestsActivity(EcuType type) {
  return GroupOf(type) == EcuGroup::k15 ? Activity::kActuatorTests15 : Activity::kActuatorTests16;
}

std::span<const RequestRow> RequestCatalogue() { return kRequests; }

int AnswerBoundMs(uint8_t request) {
  int bound = kAnswerBoundMs;
  for (const RequestRow& row : kRequests) {
    if (row.request != request) continue;
    switch (row.activity) {
      case Activity::kIdentification:
        bound = std::max(bound, kIdentificationBoundMs);
        break;
      case Activity::kFaultMemory:
        bound = std::max(bound, kFaultAnswerBoundMs);
        break;
      case Activity::kActuatorTests15:
      case Activity::kActuatorTests16:
        bound = std::max(bound, kTestAnswerBoundMs);
        break;
      default:
        break;
    }
  }
  return bound;
}

const RequestRow* FindRequest(Activity activity, uint8_t request) {
  for (const RequestRow& row : kRequests) {
    if (row.activity == activity && row.request == request) return &row;
  }
  return nullptr;
}

}  // namespace kline
