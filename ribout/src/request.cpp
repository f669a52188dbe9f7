#include "request.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include "ri_common/declparse.h"
#include "decls.h"

namespace ribout {

namespace {

// Binary codes: one big-endian float, and a float array whose count follows
// in 1 to 4 bytes.
const unsigned char CODE_FLOAT = 164;
const unsigned char CODE_FLOAT_ARRAY = 200;

// Numbers in one value of each declared type (float, point, color, string,
// integer, vector, normal, hpoint, matrix).
const int TYPE_NUMBERS[] = {0, 1, 3, 3, 1, 1, 3, 3, 4, 16};

} // namespace

std::string str(const char *s)
{
    std::string out;
    for (; s && *s; ++s) {
        switch (*s) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out += *s; break;
        }
    }
    return out;
}

Request::Request() : ctx_(current()) {}

Request::~Request()
{
    if (ctx_ && !withdrawn_) ctx_->out.write(buf_.data(), buf_.size());
}

void Request::text(const char *format, ...)
{
    char small[512];
    va_list ap;
    va_start(ap, format);
    int n = std::vsnprintf(small, sizeof small, format, ap);
    va_end(ap);
    if (n < 0) return;
    if (static_cast<size_t>(n) < sizeof small) {
        buf_.append(small, static_cast<size_t>(n));
        return;
    }
    std::string big(static_cast<size_t>(n) + 1, '\0');
    va_start(ap, format);
    std::vsnprintf(&big[0], big.size(), format, ap);
    va_end(ap);
    big.resize(static_cast<size_t>(n));
    buf_ += big;
}

void Request::raw_float(RtFloat v)
{
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    for (int shift = 24; shift >= 0; shift -= 8) buf_ += static_cast<char>((bits >> shift) & 0xff);
}

void Request::floats(long n, const RtFloat *v)
{
    if (n < 0 || !v) n = 0;
    if (binary()) {
        int k = n < 256 ? 0 : n < 65536 ? 1 : n < 16777216 ? 2 : 3;
        buf_ += static_cast<char>(CODE_FLOAT_ARRAY + k);
        for (int i = k; i >= 0; --i) buf_ += static_cast<char>((static_cast<unsigned long>(n) >> (8 * i)) & 0xff);
        for (long i = 0; i < n; ++i) raw_float(v[i]);
        return;
    }
    buf_ += '[';
    for (long i = 0; i < n; ++i) text(i ? " %g" : "%g", static_cast<double>(v[i]));
    buf_ += ']';
}

void Request::single(RtFloat v)
{
    if (binary()) {
        buf_ += static_cast<char>(CODE_FLOAT);
        raw_float(v);
    } else {
        text("%g ", static_cast<double>(v));
    }
}

void Request::ints(long n, const RtInt *v)
{
    buf_ += '[';
    for (long i = 0; v && i < n; ++i) text("%d ", v[i]);
    buf_ += ']';
}

void Request::strings(long n, const RtToken *v)
{
    buf_ += '[';
    for (long i = 0; v && i < n; ++i) text("\"%s\" ", str(v[i]).c_str());
    buf_ += ']';
}

void Request::value(const char *token, int type, long count, const void *data)
{
    if (count < 0) count = 0;
    text(" \"%s\" ", str(token).c_str());
    if (type == DECL_INTEGER) {
        ints(count, static_cast<const RtInt *>(data));
    } else if (type == DECL_STRING) {
        // Strings of a parameter: blank-separated, no blank before the bracket.
        const RtToken *s = static_cast<const RtToken *>(data);
        buf_ += '[';
        for (long i = 0; i < count; ++i) text(i ? " \"%s\"" : "\"%s\"", str(s[i]).c_str());
        buf_ += ']';
    } else {
        floats(count * TYPE_NUMBERS[type], static_cast<const RtFloat *>(data));
    }
}

void Request::pairs(const long counts[5], RtInt n, const RtToken tokens[], const RtPointer values[])
{
    for (RtInt i = 0; tokens && values && i < n; ++i) {
        if (!tokens[i]) break;
        const Decl *d = find_decl(tokens[i]);
        if (!d) {
            std::fprintf(stderr, "libribout error: undeclared parameter \"%s\"\n", tokens[i]);
            continue;
        }
        if (!values[i]) continue;
        value(tokens[i], d->type, d->length * counts[d->detail], values[i]);
    }
    buf_ += '\n';
}

void Request::params(const char *name, int light, RtInt n, const RtToken tokens[], const RtPointer values[])
{
    if (name) text(" \"%s\"", str(name).c_str());
    if (light > 0) text(" %d", light);
    const long counts[5] = {1, 1, 1, 1, 1};
    pairs(counts, n, tokens, values);
}

void Request::prim_params(long nvertex, long nvarying, long nuniform, RtInt n, const RtToken tokens[],
                          const RtPointer values[])
{
    const long counts[5] = {1, 1, nuniform, nvarying, nvertex};
    pairs(counts, n, tokens, values);
}

void float_array_request(const char *name, long n, const RtFloat *v)
{
    Request r;
    r.text("%s ", name);
    r.floats(n, v);
    r.text("\n");
}

void list_request(const char *request, RtToken name, RtInt n, const RtToken tokens[], const RtPointer params[])
{
    Request r;
    r.text("%s", request);
    r.params(name, 0, n, tokens, params);
}

} // namespace ribout
