#include "ri/paramlist.h"

#include <cstdio>
#include <cstring>

#include "ri/declarations.h"
#include "ri/ribreader.h"
#include "ri_common/rierror.h"
#include "ri/tokens.h"

namespace {

const char TOO_MANY_PAIRS[] = "Parsed too many token/value pairs: the first %d are taken, the rest ignored";

void wrong_amount(RtToken token, int found, int64_t expected)
{
    ri_error(RIE_MISSINGDATA, RIE_ERROR, "Wrong amount of data in array: \"%s\" (found %d, expected %lld)", token,
             found, static_cast<long long>(expected));
}

// Multiplies counts without overflow (saturating at INT64_MAX).
int64_t times(int64_t a, int64_t b) {
    if (a <= 0 || b <= 0) return 0;
    if (a > INT64_MAX / b) return INT64_MAX;
    return a * b;
}

// The token of the next pair, interned, with its declaration (declared on the
// way when it is inline). False at the end of the list: a token that is not a
// string (given back), or the pair limit (reported).
bool next_param(RibReader &reader, const RibParamList &list, RtToken &token, Declaration *&decl) {
    RibToken t;
    if (reader.next_token(t) != RIB_STRING) {
        if (t.kind != RIB_END) reader.push_back(t);
        return false;
    }
    if (list.n >= MAX_PARAM_PAIRS) {
        reader.push_back(t);
        ri_error(RIE_LIMIT, RIE_WARNING, TOO_MANY_PAIRS, MAX_PARAM_PAIRS);
        return false;
    }
    token = NewToken(t.text.c_str());
    decl = declarations().lookup(token);
    return true;
}

// Adds a pair to the list.
void add_pair(RibParamList &list, RtToken token, RibValueKind kind, size_t offset, int count) {
    list.tokens[list.n] = token;
    list.refs[list.n].kind = kind;
    list.refs[list.n].offset = offset;
    list.counts[list.n] = count;
    list.n++;
}

// Reads the values of a declared parameter into the arrays. Returns the kind
// and count through the arguments; -1 on a read error.
int read_declared_value(RibReader &reader, RibCursor &cursor, const Declaration &decl,
                        RibValueKind &kind, size_t &offset, int &count) {
    switch (decl.type) {
    case DECL_STRING:
        kind = RIB_STRING_VALUES;
        offset = cursor.strings;
        if (reader.read_string_list(count, offset) < 0) return -1;
        cursor.strings += static_cast<size_t>(count);
        return 0;
    case DECL_INTEGER:
        kind = RIB_INT_VALUES;
        offset = cursor.ints;
        if (reader.read_int_list(count, offset) < 0) return -1;
        cursor.ints += static_cast<size_t>(count);
        return 0;
    default:
        kind = RIB_FLOAT_VALUES;
        offset = cursor.floats;
        if (reader.read_float_list(count, offset) < 0) return -1;
        cursor.floats += static_cast<size_t>(count);
        return 0;
    }
}

} // namespace

RtPointer RibValueRef::pointer() const {
    switch (kind) {
    case RIB_STRING_VALUES: return &rib_strings()[offset];
    case RIB_INT_VALUES: return &rib_ints()[offset];
    default: return &rib_floats()[offset];
    }
}

void RibParamList::resolve() {
    for (int i = 0; i < n; i++) values[i] = refs[i].pointer();
    tokens[n] = nullptr;
    values[n] = nullptr;
}

int read_param_list(RibReader &reader, RibCursor &cursor, RibParamList &list) {
    list.n = 0;
    RtToken token;
    Declaration *decl;
    while (next_param(reader, list, token, decl)) {
        if (!decl) {
            ri_error(RIE_BADTOKEN, RIE_WARNING, "Undeclared token \"%s\"", token);
            bool is_string = false;
            int count = 0;
            if (reader.read_param_value(is_string, count, cursor.floats, cursor.strings) < 0)
                continue;  // the pair is dropped
            if (is_string) {
                add_pair(list, token, RIB_STRING_VALUES, cursor.strings, count);
                cursor.strings += static_cast<size_t>(count);
            } else {
                add_pair(list, token, RIB_FLOAT_VALUES, cursor.floats, count);
                cursor.floats += static_cast<size_t>(count);
            }
            continue;
        }
        if (decl->type == DECL_UNKNOWN || decl->type > DECL_MATRIX) {
            std::fprintf(stderr, "Error: no good decl on %s %d\n", token, 34);
            bool is_string = false;
            int count = 0;
            if (reader.read_param_value(is_string, count, cursor.floats, cursor.strings) < 0) return -1;
            continue;
        }
        RibValueKind kind;
        size_t offset = 0;
        int count = 0;
        if (read_declared_value(reader, cursor, *decl, kind, offset, count) < 0) return -1;
        // A value of another length than declared is reported; the rest of
        // the list stands. Too few values cannot be used, nor integers of
        // another count; extra values of other types are kept and not read.
        int words = decl_type_words(decl->type);
        int64_t wanted = times(words, decl->length);
        if (count != wanted || (words > 1 && count % words != 0)) {
            wrong_amount(token, count, wanted);
            if (count < wanted || kind == RIB_INT_VALUES) continue;
        }
        add_pair(list, token, kind, offset, count);
    }
    list.resolve();
    return list.n;
}

int read_primitive_params(RibReader &reader, RibCursor &cursor, RibParamList &list) {
    list.n = 0;
    int nvertex = 4;
    RtToken token;
    Declaration *decl;
    while (next_param(reader, list, token, decl)) {
        int count = 0;
        if (decl && decl->type == DECL_STRING) {
            if (reader.read_string_list(count, cursor.strings) < 0) return -1;
            add_pair(list, token, RIB_STRING_VALUES, cursor.strings, count);
            cursor.strings += static_cast<size_t>(count);
        } else if (decl && decl->type == DECL_INTEGER) {
            if (reader.read_int_list(count, cursor.ints) < 0) return -1;
            add_pair(list, token, RIB_INT_VALUES, cursor.ints, count);
            cursor.ints += static_cast<size_t>(count);
        } else {
            if (reader.read_float_list(count, cursor.floats) < 0) return -1;
            add_pair(list, token, RIB_FLOAT_VALUES, cursor.floats, count);
            cursor.floats += static_cast<size_t>(count);
        }
        const char *name = decl ? decl->name() : token;
        if (std::strcmp(name, "P") == 0) nvertex = count / 3;
        else if (std::strcmp(name, "Pz") == 0) nvertex = count;
        else if (std::strcmp(name, "Pw") == 0) nvertex = count / 4;
    }
    list.resolve();
    return nvertex;
}

bool check_vertex_lengths(const RibParamList &list, int64_t nvertex, int64_t nvarying, int64_t nuniform) {
    bool short_list = false;
    for (int i = 0; i < list.n; i++) {
        Declaration *decl = declarations().lookup(list.tokens[i]);
        if (!decl) {
            ri_error(RIE_SYNTAX, RIE_ERROR, "vertex variable unknown: %s", list.tokens[i]);
            continue;
        }
        int64_t per = 1;
        switch (decl->detail) {
        case DETAIL_UNIFORM: per = nuniform; break;
        case DETAIL_VARYING: per = nvarying; break;
        case DETAIL_VERTEX: per = nvertex; break;
        default: break;
        }
        int64_t expected = times(decl_type_words(decl->type), times(decl->length, per));
        int64_t found = list.counts[i];
        if (found == expected) continue;
        int severity = found < expected ? RIE_ERROR : RIE_WARNING;
        ri_error(RIE_SYNTAX, severity, "vertex length mismatch: %s (found %lld, expected %lld)",
                 list.tokens[i], static_cast<long long>(found), static_cast<long long>(expected));
        if (found < expected) short_list = true;
    }
    return short_list;
}
