// File-system and machine queries the search paths and the caches need.
#pragma once
#include <cstdint>
#include <string>

namespace velk {

// True when something exists under path (file or directory).
bool file_exists(const char *path);
// True when path names a directory.
bool is_directory(const char *path);
// The size in bytes of the regular file at path; -1 when path is no regular
// file or cannot be examined.
int64_t regular_file_size(const char *path);
// The machine's physical memory in bytes (0 when unknown).
uint64_t physical_memory();

// The directory holding the running program (from /proc/self/exe), empty
// when it cannot be told.
std::string executable_dir();

} // namespace velk
