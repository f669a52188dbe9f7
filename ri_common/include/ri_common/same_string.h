// The one string test that keyword and parameter-name lookups share.
#pragma once

#include <cstring>

// Whether a and b are the same string; a null on either side matches nothing.
inline bool is(const char *a, const char *b)
{
    return a && b && std::strcmp(a, b) == 0;
}
