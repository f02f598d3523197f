// Replacing a file so that a reader, or the next run after a crash, finds
// either the old content or the new one, never a torn file.
#pragma once

#include <unistd.h>

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tesk_privacy::pii_detector {

// Writes `bytes` to a temporary file beside `path` (PATH.tmp-XXXXXX, mode
// 0600), fsyncs it, renames it over `path` and fsyncs the folder. Throws
// OSError naming `path` when any step fails; the old file is then intact and
// the temporary file removed. `sync` flushes a descriptor to the disk; tests
// pass one that fails.
void replace_file_atomically(const std::string& path, std::string_view bytes, int (*sync)(int) = ::fsync);
// The same, the bytes given as pieces written one after another.
void replace_file_atomically(const std::string& path, std::span<const std::string_view> pieces,
                             int (*sync)(int) = ::fsync);

// The whole content of `path`, or nullopt when it does not exist. Throws
// OSError naming the file when it cannot be read.
std::optional<std::string> read_file_if_present(const std::string& path);

// Removes the temporary files a killed writer left beside `path`. Call only
// while no other writer can be active (under the mapping's lock).
void remove_stale_temporaries(const std::string& path);

}  // namespace tesk_privacy::pii_detector
