// The varargs forms of the RI procedures: each gathers what follows its fixed
// arguments and calls its vector form.
#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "binding/backend.h"
#include "ri_common/rierror.h"

namespace {

// Both lists end with a null entry, as the vector forms' own callers give them.
struct Pairs {
    std::vector<RtToken> tokens;
    std::vector<RtPointer> values;
    RtInt n() const { return static_cast<RtInt>(tokens.size()) - 1; }
    RtToken *t() { return tokens.data(); }
    RtPointer *v() { return values.data(); }
};

// The pairs up to a null token; past the back end's bound the rest are left
// out, and that is told.
Pairs gather(va_list ap)
{
    const int limit = ri_backend().max_pairs;
    Pairs p;
    for (RtToken t = va_arg(ap, RtToken); t; t = va_arg(ap, RtToken)) {
        if (limit > 0 && RtInt(p.tokens.size()) >= limit) {
            ri_error(RIE_LIMIT, RIE_WARNING,
                     "Parsed too many token/value pairs: the first %d are taken, the rest ignored", limit);
            break;
        }
        p.tokens.push_back(t);
        p.values.push_back(va_arg(ap, RtPointer));
    }
    p.tokens.push_back(nullptr);
    p.values.push_back(nullptr);
    return p;
}

} // namespace

#define VELK_UNPAREN(...) __VA_ARGS__

extern "C" {

#define VELK_RI_PAIR_FORM(R, N, P, A, last)                      \
    R Ri##N(VELK_UNPAREN P, ...)                                 \
    {                                                            \
        va_list ap;                                              \
        va_start(ap, last);                                      \
        Pairs p = gather(ap);                                    \
        va_end(ap);                                              \
        return Ri##N##V(VELK_UNPAREN A, p.n(), p.t(), p.v());    \
    }
VELK_RI_PAIR_FORMS(VELK_RI_PAIR_FORM)
#undef VELK_RI_PAIR_FORM

// The times follow the count, as doubles; every one is read.
RtVoid RiMotionBegin(RtInt n, ...)
{
    std::vector<RtFloat> times(n > 0 ? size_t(n) : 0);
    va_list ap;
    va_start(ap, n);
    for (RtFloat &t : times) t = static_cast<RtFloat>(va_arg(ap, double));
    va_end(ap);
    RiMotionBeginV(n, times.empty() ? nullptr : times.data());
}

RtVoid RiArchiveRecord(RtToken type, const char *format, ...)
{
    const RiBackend &b = ri_backend();
    if (!b.ArchiveRecordText) return;
    char fixed[1024];
    va_list ap;
    va_start(ap, format);
    int size = std::vsnprintf(fixed, sizeof fixed, format ? format : "", ap);
    va_end(ap);
    std::string text = fixed;
    if (size >= int(sizeof fixed)) {
        text.assign(size_t(size) + 1, '\0');
        va_start(ap, format);
        std::vsnprintf(&text[0], text.size(), format, ap);
        va_end(ap);
        text.resize(size_t(size));
    }
    b.ArchiveRecordText(type, text.c_str());
}

} // extern "C"
