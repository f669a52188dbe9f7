// The compiler's string pool: one stored copy of every distinct name and text,
// so that names compare by pointer. Lives for one compilation.
#pragma once

namespace murn {

// The pooled copy of s (null stays null).
const char *intern_string(const char *s);
// The pooled copy of a printf-formatted text.
const char *intern_format(const char *format, ...) __attribute__((format(printf, 1, 2)));
// Frees the pool; strings handed out before become invalid.
void reset_string_pool();

} // namespace murn
