// Device file attributes kept on a host file: read-only as the file's write
// permission bits, directory from the host, and the bits the host has no
// place for (hidden, system, archive, a folder's read-only) in the extended
// attribute "user.fitkit.attributes" where the host file system has them.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <string>

namespace host {

inline constexpr const char* kAttributesXattr = "user.fitkit.attributes";

// kInvalidAttributes when the entry does not exist.
uint32_t ReadHostAttributes(const std::filesystem::path& path);
bool WriteHostAttributes(const std::filesystem::path& path, uint32_t attributes);
// The same for the entry `name` of the folder open as `dir` ("." for the
// folder itself), whose own status is `info`; a link there is never
// followed, so only the entry that was checked is read or changed.
uint32_t ReadHostAttributesAt(int dir, const std::string& name, const struct stat& info);
bool WriteHostAttributesAt(int dir, const std::string& name, const struct stat& info,
                           uint32_t attributes);
// The same for the open file `fd`, whose status is `info`. `mayHoldBits`
// false says the file has no stored bits, so none are removed.
bool WriteHostAttributesOf(int fd, const struct stat& info, uint32_t attributes,
                           bool mayHoldBits = true);
// How many times this process stored bits on any entry so far: a file
// created while the count stayed the same has none.
uint64_t HostAttributeStores();
// How many times this process changed the mode of any entry so far: a file
// created while the count stayed the same has the mode it was created with.
uint64_t HostModeChanges();

// What the status alone tells, with no read of the stored bits: the folder
// bit, and a file's read-only bit.
uint32_t StatusAttributes(const struct stat& info);

// True for a file (not a folder) whose write permission bits are all clear.
bool IsReadOnlyFile(const std::filesystem::path& path);

}  // namespace host
