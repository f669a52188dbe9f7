// Reading one parameter value through its pointer as its declared type, so an
// integer option given as a float (or the other way) still reads correctly.
#pragma once
#include <cmath>

#include "ri/declarations.h"

// Element i of the value as an integer.
inline int decl_int(const Declaration *d, const void *v, int i = 0)
{
    if (!v) return 0;
    if (d->type == DECL_INTEGER) return static_cast<const int *>(v)[i];
    if (d->type == DECL_STRING) return 0;
    float f = static_cast<const float *>(v)[i];
    if (!(f == f)) return 0;
    if (f >= 2147483647.0f) return 2147483647;
    if (f <= -2147483648.0f) return -2147483647 - 1;
    return (int)f;
}

// Element i of the value as a float.
inline float decl_float(const Declaration *d, const void *v, int i = 0)
{
    if (!v) return 0;
    if (d->type == DECL_INTEGER) return (float)static_cast<const int *>(v)[i];
    if (d->type == DECL_STRING) return 0;
    return static_cast<const float *>(v)[i];
}

// The value as a string (null unless declared a string).
inline const char *decl_string(const Declaration *d, const void *v)
{
    if (!v || d->type != DECL_STRING) return nullptr;
    return *static_cast<const char *const *>(v);
}

// Number of values the declaration carries (1 for a float, 3 for a colour ...).
inline int decl_count(const Declaration *d)
{
    return d->words();
}
