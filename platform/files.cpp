#include "platform/files.h"

#include <limits.h>
#include <unistd.h>

namespace velk {

bool file_exists(const char *path)
{
    return path && access(path, F_OK) == 0;
}

std::string executable_dir()
{
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "";
    std::string path(buf, static_cast<size_t>(n));
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "" : path.substr(0, slash);
}

} // namespace velk
