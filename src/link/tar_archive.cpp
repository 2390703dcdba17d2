#include "link/tar_archive.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace kline {

namespace {

constexpr size_t kBlock = 512;
constexpr size_t kNameField = 100;
constexpr size_t kSizeAt = 124;
constexpr size_t kSizeField = 12;
constexpr size_t kSumAt = 148;
constexpr size_t kSumField = 8;
constexpr size_t kTypeAt = 156;
constexpr size_t kMagicAt = 257;
constexpr std::string_view kMagic = std::string_view(
    "ustar\0"
    "00",
    8);

// Zero-padded digits and a terminating NUL, as every tar writes them; the fields are wide
// enough for any size this program writes.
void Octal(char* field, size_t width, uint64_t value) {
  field[width - 1] = '\0';
  for (size_t i = width - 1; i-- > 0; value >>= 3) field[i] = static_cast<char>('0' + (value & 7));
}

uint32_t Checksum(std::string_view header) {
  uint32_t sum = 0;
  for (size_t i = 0; i < kBlock; ++i) {
    const bool in_sum = i >= kSumAt && i < kSumAt + kSumField;
    sum += in_sum ? ' ' : static_cast<unsigned char>(header[i]);
  }
  return sum;
}

std::optional<uint64_t> ReadOctal(std::string_view field) {
  uint64_t value = 0;
  size_t i = 0;
  while (i < field.size() && field[i] == ' ') ++i;
  size_t digits = 0;
  for (; i < field.size() && field[i] >= '0' && field[i] <= '7'; ++i, ++digits) {
    if (value >> 60) return std::nullopt;
    value = value * 8 + static_cast<uint64_t>(field[i] - '0');
  }
  if (digits == 0) return std::nullopt;
  for (; i < field.size(); ++i) {
    if (field[i] != ' ' && field[i] != '\0') return std::nullopt;
  }
  return value;
}

size_t Padded(size_t size) { return (size + kBlock - 1) / kBlock * kBlock; }

}  // namespace

std::string WriteTar(const std::vector<ArchiveMember>& members, int64_t mtime) {
  std::string out;
  for (const ArchiveMember& member : members) {
    std::array<char, kBlock> header{};
    std::memcpy(header.data(), member.name.data(), std::min(member.name.size(), kNameField - 1));
    Octal(&header[100], 8, 0644);
    Octal(&header[108], 8, 0);
    Octal(&header[116], 8, 0);
    Octal(&header[kSizeAt], kSizeField, member.data.size());
    Octal(&header[136], 12, static_cast<uint64_t>(std::max<int64_t>(mtime, 0)));
    header[kTypeAt] = '0';
    std::memcpy(&header[kMagicAt], kMagic.data(), kMagic.size());
    Octal(&header[kSumAt], 7, Checksum({header.data(), kBlock}));
    header[kSumAt + 7] = ' ';
    out.append(header.data(), kBlock);
    out += member.data;
    out.append(Padded(member.data.size()) - member.data.size(), '\0');
  }
  // Two empty blocks end the archive.
  out.append(2 * kBlock, '\0');
  return out;
}

bool LooksLikeTar(std::string_view data) {
  return data.size() >= kBlock && data.substr(kMagicAt, 5) == "ustar";
}

std::optional<std::string_view> FindTarMember(std::string_view archive, std::string_view name,
                                              std::string* error) {
  size_t at = 0;
  while (at + kBlock <= archive.size()) {
    const std::string_view header = archive.substr(at, kBlock);
    if (header.find_first_not_of('\0') == std::string_view::npos) break;
    const std::optional<uint64_t> sum = ReadOctal(header.substr(kSumAt, kSumField));
    if (!sum || *sum != Checksum(header)) {
      *error = "damaged archive: the header at byte " + std::to_string(at) + " does not add up";
      return std::nullopt;
    }
    const std::optional<uint64_t> size = ReadOctal(header.substr(kSizeAt, kSizeField));
    const size_t room = archive.size() - at - kBlock;
    if (!size || *size > room) {
      *error = "damaged archive: the member at byte " + std::to_string(at) + " runs past its end";
      return std::nullopt;
    }
    const std::string_view field = header.substr(0, kNameField);
    const std::string_view member = field.substr(0, field.find('\0'));
    const char type = header[kTypeAt];
    if ((type == '0' || type == '\0') && member == name) {
      return archive.substr(at + kBlock, static_cast<size_t>(*size));
    }
    at += kBlock + std::min(Padded(static_cast<size_t>(*size)), room);
  }
  *error = "the archive holds no " + std::string(name);
  return std::nullopt;
}

}  // namespace kline
