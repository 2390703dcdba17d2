// A plain tar archive (POSIX ustar) written and read without any library: the support report
// is one, so that `tar`, 7-Zip or a desktop archive manager opens it and the simulator reads its
// trace straight out of it. The reader takes files from anyone and trusts nothing in them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kline {

struct ArchiveMember {
  std::string name;  // at most 99 characters, no folders
  std::string data;
};

// The archive of `members`, each dated `mtime` (seconds since 1970).
std::string WriteTar(const std::vector<ArchiveMember>& members, int64_t mtime);

// Whether `data` starts with a tar header.
bool LooksLikeTar(std::string_view data);

// The contents of the member called `name`; nullopt with the reason in `error` when the
// archive is damaged or has no such member.
std::optional<std::string_view> FindTarMember(std::string_view archive, std::string_view name,
                                              std::string* error);

}  // namespace kline
