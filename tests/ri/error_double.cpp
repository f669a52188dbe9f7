// Stand-in error reporting for the unit tests while the front end's own is not
// in the library: weak, so the real one takes over once it is linked.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "ri/rierror.h"

static RtErrorHandler double_handler = nullptr;

__attribute__((weak)) RtErrorHandler RiErrorHandler(RtErrorHandler handler)
{
    RtErrorHandler old = double_handler;
    double_handler = handler;
    return old;
}

__attribute__((weak)) RtErrorHandler ri_current_error_handler()
{
    return double_handler;
}

__attribute__((weak)) void ri_error(int code, int severity, const char *format, ...)
{
    char buf[1024];
    va_list ap;
    va_start(ap, format);
    vsnprintf(buf, sizeof buf, format, ap);
    va_end(ap);
    if (double_handler) double_handler(code, severity, buf);
    else fprintf(stderr, "error %d/%d: %s\n", code, severity, buf);
}

__attribute__((weak)) void ri_assert_failed(const char *module, int line)
{
    fprintf(stderr, "Assertion failed in %s, line %d\n", module, line);
    exit(1);
}
