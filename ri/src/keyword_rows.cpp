#include "ri/keyword_rows.h"

#include <cstring>
#include <limits>
#include <string>

#include "ri/declvalue.h"
#include "ri/renderer.h"
#include "ri_common/rierror.h"
#include "ri_common/same_string.h"
#include "ri_common/searchpath.h"
#include "ri/tokens.h"

namespace {

// The element count of a field's values: 3 for a colour.
int elements(const Field &f)
{
    return f.storage == Storage::COLOR ? 3 : static_cast<int>(f.extra);
}

// Sets a search path: '&' stands for the old path, "$ARCH" for the architecture.
RtToken new_search_path(const char *value, RtToken old)
{
    if (!value) return old;
    std::string joined = substitute_old_path(value, old ? old : "");
    return expand_arch_path(joined.c_str());
}

// The value of a row's word; false (reported) for a word not in the list.
bool word_value(const KeywordRow &row, const char *word, int &value)
{
    for (const WordValue *w = row.rule.words; w->word; w++)
        if (is(word, w->word)) {
            value = w->value;
            return true;
        }
    ri_error(RIE_BADTOKEN, RIE_WARNING, "Unknown %s %s attribute: \"%s\"", row.name, row.token, word ? word : "");
    return false;
}

void store_token(const Field &f, void *record, const char *token)
{
    *static_cast<const char **>(f.at(record)) = token;
}

} // namespace

double Clamp::apply(double v) const
{
    if (v < lo || (v != v && lo > -std::numeric_limits<double>::infinity())) return lo_to;
    return v > hi ? hi_to : v;
}

const KeywordRow *RowTable::find(const char *name, const char *token) const
{
    for (const KeywordRow &row : *this)
        if (is(name, row.name) && (!row.token || is(token, row.token))) return &row;
    return nullptr;
}

const KeywordRow *RowTable::find_query(const char *query) const
{
    const char *colon = query ? std::strchr(query, ':') : nullptr;
    if (!colon) return nullptr;
    const size_t n = static_cast<size_t>(colon - query);
    for (const KeywordRow &row : *this)
        if (row.query && row.token && std::strncmp(query, row.name, n) == 0 && row.name[n] == 0 &&
            is(colon + 1, row.token))
            return &row;
    return nullptr;
}

void store_number(const Field &f, void *record, double v, uint32_t element)
{
    void *p = f.at(record);
    // Integers arrive as whole numbers within an int.
    switch (f.storage) {
    case Storage::INT: static_cast<int *>(p)[element] = static_cast<int>(v); break;
    case Storage::BYTE: static_cast<uint8_t *>(p)[element] = static_cast<uint8_t>(static_cast<int>(v)); break;
    case Storage::SHORT: static_cast<uint16_t *>(p)[element] = static_cast<uint16_t>(static_cast<int>(v)); break;
    case Storage::HANDLE: static_cast<intptr_t *>(p)[element] = static_cast<int>(v); break;
    case Storage::FLOAT: static_cast<float *>(p)[element] = static_cast<float>(v); break;
    case Storage::COLOR: (*static_cast<Color *>(p))[static_cast<int>(element)] = static_cast<float>(v); break;
    case Storage::BIT:
        if (v != 0) *static_cast<uint32_t *>(p) |= f.extra;
        else *static_cast<uint32_t *>(p) &= ~f.extra;
        break;
    case Storage::TOKEN: break;
    }
}

int apply_row(Renderer &r, const KeywordRow &row, void *record, const Declaration *d, RtPointer value)
{
    const Field &f = row.field;
    const Clamp &c = row.rule.clamp;
    switch (row.type) {
    case ROW_NONE: break;
    case ROW_INT: store_number(f, record, c.apply(decl_int(d, value))); break;
    case ROW_KBYTES: store_number(f, record, c.apply(decl_int(d, value)) * 1024); break;
    case ROW_BOOL: store_number(f, record, decl_int(d, value) != 0); break;
    case ROW_CHECKED: {
        // An option's count held in a narrow field: refused, not clamped.
        const int n = decl_int(d, value);
        if (n < c.lo || n > c.hi)
            ri_error(RIE_RANGE, RIE_ERROR, "RiOption: \"%s\" \"%s\" %d out of range (%d to %d)", row.name, row.token,
                     n, static_cast<int>(c.lo), static_cast<int>(c.hi));
        else store_number(f, record, n);
        break;
    }
    case ROW_FLOAT: store_number(f, record, c.apply(decl_float(d, value))); break;
    case ROW_COLOR:
        for (int i = 0; i < 3; i++)
            store_number(f, record, c.apply(decl_float(d, value, i < decl_count(d) ? i : 0)), i);
        break;
    case ROW_LIST:
        for (int i = 0; i < elements(f); i++) {
            double v = 0;
            if (i < decl_count(d))
                v = f.storage == Storage::FLOAT ? double(decl_float(d, value, i)) : double(decl_int(d, value, i));
            store_number(f, record, v, i);
        }
        break;
    case ROW_STRING: store_token(f, record, NewToken(decl_string(d, value))); break;
    case ROW_PATH: {
        RtToken *path = static_cast<RtToken *>(f.at(record));
        *path = new_search_path(decl_string(d, value), *path);
        break;
    }
    case ROW_WORD: {
        int v;
        if (word_value(row, decl_string(d, value), v)) store_number(f, record, v);
        break;
    }
    case ROW_PROC: return row.rule.proc(r, row, d, value);
    }
    return 0;
}

RowValue read_row(const KeywordRow &row, const void *record)
{
    RowValue out = {false, 0, nullptr};
    const Field &f = row.field;
    if (!f.at) return out;
    const void *p = f.at(const_cast<void *>(record));
    switch (f.storage) {
    case Storage::INT: out.number = static_cast<float>(*static_cast<const int *>(p)); break;
    case Storage::BYTE: out.number = *static_cast<const uint8_t *>(p); break;
    case Storage::SHORT: out.number = *static_cast<const uint16_t *>(p); break;
    case Storage::HANDLE: out.number = static_cast<float>(*static_cast<const intptr_t *>(p)); break;
    case Storage::FLOAT: out.number = *static_cast<const float *>(p); break;
    case Storage::COLOR: out.number = static_cast<const Color *>(p)->x; break;
    case Storage::BIT: out.number = (*static_cast<const uint32_t *>(p) & f.extra) ? 1.0f : 0.0f; break;
    case Storage::TOKEN: {
        const char *text = *static_cast<const char *const *>(p);
        out.is_string = true;
        out.string = text ? text : row.query;
        break;
    }
    }
    return out;
}
