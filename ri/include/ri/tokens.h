// String interning: every name the front end handles becomes one stored copy,
// so that tokens compare by pointer identity everywhere.
#pragma once
#include "ri/counters.h"
#include "ri_common/ri.h"

// The one stored copy of s (null for null); the same text always gives the same pointer.
RtToken NewToken(const char *s);

// Makes the string table (NewToken also makes it on first use).
void init_string_table();

// Bytes of the interned strings (length + 25 per string).
StatCounter &string_memory();
