#include "shading/formatting.h"

#include <cstdio>
#include <cstring>

#include "ri/renderer.h"
#include "ri/tokens.h"
#include "shading/shadingpoint.h"
#include "shading_shaderfile/slstack.h"

namespace {

// Longest run of flags and width taken into one conversion.
const size_t MAX_FLAGS = 15;

bool is_flag(char c)
{
    return c != 0 && std::strchr("-+ #0123456789.", c) != nullptr;
}

// Flags, width and precision in the order printf knows them, with at most
// four digits each: [-+ #0]* digits [. digits].
bool well_formed(const char *p, const char *end)
{
    while (p < end && std::strchr("-+ #0", *p)) ++p;
    for (int pass = 0; pass < 2; ++pass) {
        int digits = 0;
        while (p < end && *p >= '0' && *p <= '9') ++p, ++digits;
        if (digits > 4) return false;
        if (pass == 0) {
            if (p == end) return true;
            if (*p != '.') return false;
            ++p;
        }
    }
    return p == end;
}

bool is_conversion(char c)
{
    return c != 0 && std::strchr("%cdfgmnpsv", c) != nullptr;
}

// Appends one value printed with "%" flags conv.
template <typename T>
void append_value(std::string &out, const std::string &flags, char conv, T value)
{
    std::string spec = "%" + flags + conv;
    char small[64];
    int n = std::snprintf(small, sizeof small, spec.c_str(), value);
    if (n < 0) return;
    if (static_cast<size_t>(n) < sizeof small) {
        out.append(small, n);
        return;
    }
    std::string big(static_cast<size_t>(n) + 1, '\0');
    std::snprintf(&big[0], big.size(), spec.c_str(), value);
    out.append(big.data(), n);
}

void append_numbers(std::string &out, const std::string &flags, const float *v, int n)
{
    for (int i = 0; i < n; ++i) {
        if (i) out += ' ';
        append_value(out, flags, 'g', static_cast<double>(v[i]));
    }
}

class StackArgs : public FormatArgs {
public:
    float next_float() override { return slstack.pop_float(); }
    void next_triple(float v[3]) override { slstack.pop_triple(v); }
    void next_matrix(float m[16]) override { slstack.pop_matrix(m); }
    const char *next_string() override { return slstack.pop_string(); }
};

class VarArgs : public FormatArgs {
public:
    explicit VarArgs(va_list a) { va_copy(args_, a); }
    ~VarArgs() override { va_end(args_); }
    float next_float() override { return static_cast<float>(va_arg(args_, double)); }
    void next_triple(float v[3]) override { copy(v, 3); }
    void next_matrix(float m[16]) override { copy(m, 16); }
    const char *next_string() override { return va_arg(args_, const char *); }

private:
    void copy(float *to, int n)
    {
        const float *from = va_arg(args_, const float *);
        for (int i = 0; i < n; ++i) to[i] = from ? from[i] : 0;
    }
    va_list args_;
};

} // namespace

std::string format_text(const char *format, FormatArgs &args)
{
    std::string out;
    if (!format) return out;
    for (const char *p = format; *p;) {
        char c = *p;
        if (c == '\\') {
            char e = p[1];
            if (e == 't') out += '\t';
            else if (e == 'n') out += '\n';
            else if (e == 'r') out += '\r';
            p += e ? 2 : 1;   // a trailing backslash ends the text
            continue;
        }
        if (c != '%') {
            out += c;
            ++p;
            continue;
        }
        const char *q = p + 1;
        while (is_flag(*q) && static_cast<size_t>(q - p - 1) < MAX_FLAGS) ++q;
        if (!is_conversion(*q) || !well_formed(p + 1, q)) {
            // Not a conversion we know: the text stands as written.
            out.append(p, q - p);
            p = q;
            continue;
        }
        std::string flags(p + 1, q);
        switch (*q) {
        case '%':
            out += '%';
            break;
        case 'c': case 'n': case 'p': case 'v': {
            float v[3];
            args.next_triple(v);
            append_numbers(out, flags, v, 3);
            break;
        }
        case 'm': {
            float m[16];
            args.next_matrix(m);
            append_numbers(out, flags, m, 16);
            break;
        }
        case 's': {
            const char *s = args.next_string();
            // Only justification, width and precision mean anything to a string.
            std::string sflags;
            for (char f : flags) {
                char prev = sflags.empty() ? 0 : sflags.back();
                bool in_number = prev == '.' || (prev >= '0' && prev <= '9');
                if (f == '-' || f == '.' || (f >= '1' && f <= '9') || (f == '0' && in_number))
                    sflags += f;
            }
            append_value(out, sflags, 's', s ? s : "");
            break;
        }
        default: {   // d f g
            float x = args.next_float();
            append_numbers(out, flags, &x, 1);
            break;
        }
        }
        p = q + 1;
    }
    return out;
}

std::string format_stack_text()
{
    const char *format = slstack.pop_string();
    StackArgs args;
    return format_text(format, args);
}

const char *format_from_stack()
{
    return NewToken(format_stack_text().c_str());
}

const char *format_from_args(const char *format, va_list args)
{
    VarArgs from(args);
    return NewToken(format_text(format, from).c_str());
}

void print_shader_text(const char *text)
{
    FILE *out = current_renderer && current_renderer->options.rayserver ? stderr : stdout;
    std::fprintf(out, "%s", text);
    std::fflush(out);
}

extern "C" const char *sl_concat(const char *s0, ...)
{
    std::string joined;
    va_list args;
    va_start(args, s0);
    const char *s = s0;
    for (int i = 0; s; ++i) {
        joined += s;
        s = i + 1 < 100 ? va_arg(args, const char *) : nullptr;
    }
    va_end(args);
    return NewToken(joined.c_str());
}

extern "C" const char *sl_format(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    const char *r = format_from_args(format, args);
    va_end(args);
    return r;
}

extern "C" void sl_printf(ShadingPoint *sv, const char *format, ...)
{
    if (sv && sv->whichdisp != 0) return;
    std::string text;
    va_list args;
    va_start(args, format);
    {
        VarArgs from(args);
        text = format_text(format, from);
    }
    va_end(args);
    print_shader_text(text.c_str());
}
