// Text formatting of shaders (format, printf, concat): a format string whose
// conversions take values from the value stack or from a call's arguments.
//   %d %f %g      one float, printed with %g (flags and width kept)
//   %c %n %p %v   a triple: three numbers with %g, separated by blanks
//   %m            a matrix: sixteen numbers with %g, separated by blanks
//   %s            a string
//   %%            a per-cent sign
//   \t \n \r      tab, new line, carriage return; a backslash before any
//                 other character drops both
// Flags and width are limited to the characters "-+ #0123456789."; a
// conversion with anything else is copied as it stands. Results have no
// length limit.
#pragma once
#include <cstdarg>
#include <string>

// Where a format takes its values, in the order the conversions ask.
class FormatArgs {
public:
    virtual ~FormatArgs() = default;
    virtual float next_float() = 0;
    virtual void next_triple(float v[3]) = 0;
    virtual void next_matrix(float m[16]) = 0;
    virtual const char *next_string() = 0;
};

// The formatted text.
std::string format_text(const char *format, FormatArgs &args);
// Pops the format string and then the values it consumes; the text.
std::string format_stack_text();
// The same, interned.
const char *format_from_stack();
// The interned text of a format whose values are C arguments: a double for
// %d %f %g, a float pointer for the triple and matrix conversions, a char
// pointer for %s.
const char *format_from_args(const char *format, va_list args);

// Where printf writes: the standard error when the statistics go there (the
// ray server owns the standard output), else the standard output.
void print_shader_text(const char *text);

struct ShadingPoint;
extern "C" {
// Joins the strings given up to the first null (at most 100); interned.
const char *sl_concat(const char *s0, ...);
// Formats with values from the call; interned.
const char *sl_format(const char *format, ...);
// Formats and prints, except in a derivative-neighbour run of sv.
void sl_printf(ShadingPoint *sv, const char *format, ...);
}
