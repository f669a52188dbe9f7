#include "compiler/messages.h"

#include <cstdio>

namespace murn {

int error_flag = 0;
int verbosity = 1;

void report_error_at(const char *message, const char *file, int line, const char *name)
{
    std::fflush(stderr);
    std::fprintf(stderr, "murn Error: \"%s\", line %d: %s %s\n", file ? file : "", line,
                 message ? message : "", name ? name : "");
    std::fflush(stderr);
    error_flag = 1;
}

} // namespace murn
