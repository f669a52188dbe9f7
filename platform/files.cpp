#include "platform/files.h"

#include <unistd.h>

namespace velk {

bool file_exists(const char *path)
{
    return path && access(path, F_OK) == 0;
}

} // namespace velk
