// 32-bit ids of interned strings. Shader parameter, local and default blocks
// are arrays of 32-bit words, so a string in them is an id, never a pointer;
// the interpreter's string stack holds the texts themselves.
#pragma once
#include <cstdint>

// The id of a text, interning it first (NewToken); 0 for null.
uint32_t string_id(const char *text);
// The interned text of an id; null for 0 or an id never handed out.
const char *string_from_id(uint32_t id);
