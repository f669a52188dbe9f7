// File-system queries the search paths need.
#pragma once

namespace velk {

// True when something exists under path (file or directory).
bool file_exists(const char *path);

} // namespace velk
