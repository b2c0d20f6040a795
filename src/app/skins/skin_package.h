// Unpacking a skin package (a ZIP file) into the work folder temp/.
//
// The package is untrusted. Every entry is checked before anything is
// written: absolute names, drive letters, backslashes, empty names, "." and
// ".." parts, symbolic links and encrypted entries are skipped, and so is an
// entry larger than kMaxEntryBytes. A package whose entries together expand
// beyond kMaxPackageBytes (a decompression bomb) is refused whole. The sizes
// the archive declares are not trusted either: an entry that yields more
// bytes than declared is abandoned. Each good entry is written to a
// temporary name in its folder and renamed over the file of the same name;
// nothing is deleted, and nothing outside the target folder is ever written
// (an existing subfolder that is a symbolic link is not followed).
//
// Threads: UI thread (any thread, as long as no other unpacks into the same
// folder at the same time).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tw::skins {

inline constexpr std::uint64_t kMaxEntryBytes = 64ull << 20;
inline constexpr std::uint64_t kMaxPackageBytes = 256ull << 20;
// More entries than any skin needs; a directory of millions of entries is
// refused before it is walked.
inline constexpr std::int64_t kMaxEntries = 4096;

struct UnpackResult {
    bool opened = false;                   // the file was a readable ZIP archive
    bool refused = false;                  // refused whole (too large, too many entries)
    std::vector<std::string> written;      // names written into the folder
    std::vector<std::string> skipped;      // names left out, unsafe or unreadable
};

// Whether `name` (as stored in the archive) is a safe relative file name:
// parts separated by '/', none empty, "." or "..", no backslash, no colon,
// no control character, not a folder entry. Any thread.
bool safe_entry_name(const std::string& name);

// Unpacks `package` into `folder` (created when missing). UI thread.
UnpackResult unpack_skin_package(const std::string& package, const std::string& folder);

}  // namespace tw::skins
