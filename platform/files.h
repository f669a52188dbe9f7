// File-system queries the search paths need.
#pragma once
#include <string>

namespace velk {

// True when something exists under path (file or directory).
bool file_exists(const char *path);

// The directory holding the running program (from /proc/self/exe), empty
// when it cannot be told.
std::string executable_dir();

} // namespace velk
