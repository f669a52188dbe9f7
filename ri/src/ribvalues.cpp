// The value readers of the RIB reader: numbers, strings and their arrays and
// lists, bracketed or bare, stored into the request value arrays.
#include <cstdio>

#include "ri/ribreader.h"
#include "ri_common/rierror.h"

#include "ri/tokens.h"

namespace {

bool is_number(const RibToken &t) { return t.kind == RIB_NUMBER || t.kind == RIB_BINFLOAT; }

int fail(const char *message) {
    ri_error(RIE_SYNTAX, RIE_ERROR, "%s", message);
    return -1;
}

const char NUMBER_EXPECTED[] = "Number expected";
const char MISSING_CLOSE[] = "Missing ']'";
const char EXTRA_CLOSE[] = "Extra ']'";

} // namespace

// A token that is not what a reader wants goes back to the stream, so that a
// following request is not lost with a broken one.
int RibReader::read_string(std::string &out) {
    RibToken t;
    if (next_token(t) != RIB_STRING) {
        if (t.kind != RIB_END) push_back(t);
        return fail("Quoted string expected");
    }
    out = t.text;
    return 0;
}

int RibReader::read_number(double &value, std::string *text) {
    RibToken t;
    next_token(t);
    if (t.kind == RIB_OPEN) {  // a one-element bracketed number
        RibToken v, close;
        next_token(v);
        if (!is_number(v)) {
            if (v.kind != RIB_END) push_back(v);
            return fail(NUMBER_EXPECTED);
        }
        if (next_token(close) != RIB_CLOSE) {
            if (close.kind != RIB_END) push_back(close);
            return fail(NUMBER_EXPECTED);
        }
        t = v;
    } else if (!is_number(t)) {
        if (t.kind != RIB_END) push_back(t);
        return fail(NUMBER_EXPECTED);
    }
    value = t.value;
    if (text) {
        if (t.kind == RIB_BINFLOAT) {
            char buf[64];
            std::snprintf(buf, sizeof buf, "%g", t.value);
            *text = buf;
        } else {
            *text = t.text;
        }
    }
    return 0;
}

int RibReader::read_float(RtFloat &out) {
    double v;
    if (read_number(v) < 0) return -1;
    out = rib_to_float(v);
    return 0;
}

// count values, bracketed or bare; store(i, token) keeps value i.
template <class Store>
int RibReader::read_fixed(int count, Store store) {
    RibToken t;
    next_token(t);
    bool bracketed = t.kind == RIB_OPEN;
    if (!bracketed) push_back(t);
    for (int i = 0; i < count; i++) {
        next_token(t);
        if (!store(i, t)) {
            if (t.kind != RIB_END && t.kind != RIB_CLOSE) push_back(t);
            return -1;
        }
    }
    if (bracketed && next_token(t) != RIB_CLOSE) {
        if (t.kind != RIB_END) push_back(t);
        return fail(MISSING_CLOSE);
    }
    return 0;
}

int RibReader::read_floats(int count, RtFloat *buffer) {
    return read_fixed(count, [&](int i, const RibToken &t) {
        if (!is_number(t)) return fail(NUMBER_EXPECTED), false;
        buffer[i] = rib_to_float(t.value);
        return true;
    });
}

int RibReader::read_int_array(int count, size_t index) {
    DynArray<RtInt> &ints = rib_ints();
    ints.reserve_index(index + 256);
    return read_fixed(count, [&](int i, const RibToken &t) {
        if (!is_number(t)) return fail(NUMBER_EXPECTED), false;
        ints.reserve_index(index + static_cast<size_t>(i));
        ints[index + static_cast<size_t>(i)] = rib_to_int(t.value);
        return true;
    });
}

int RibReader::read_float_array(int count, size_t index) {
    DynArray<RtFloat> &floats = rib_floats();
    floats.reserve_index(index + 256);
    return read_fixed(count, [&](int i, const RibToken &t) {
        if (!is_number(t)) return fail(NUMBER_EXPECTED), false;
        floats.reserve_index(index + static_cast<size_t>(i));
        floats[index + static_cast<size_t>(i)] = rib_to_float(t.value);
        return true;
    });
}

// Values of unknown number: a bracketed list, or a run of bare values that
// ends at the first other token (pushed back). store(i, t) keeps token t as
// value i when it is a value and answers false otherwise.
template <class Store>
int RibReader::read_list(int &count, Store store) {
    RibToken t;
    count = 0;
    next_token(t);
    if (t.kind == RIB_OPEN) {
        for (;;) {
            next_token(t);
            if (t.kind == RIB_CLOSE) return 0;
            if (!store(count, t)) {
                if (t.kind != RIB_END) push_back(t);
                return fail(MISSING_CLOSE);
            }
            count++;
        }
    }
    // A bare run must start with a value.
    if (!store(count, t)) {
        if (t.kind != RIB_END && t.kind != RIB_CLOSE) push_back(t);
        return fail(NUMBER_EXPECTED);
    }
    count++;
    for (;;) {
        next_token(t);
        if (!store(count, t)) break;
        count++;
    }
    if (t.kind == RIB_CLOSE) return fail(EXTRA_CLOSE);
    if (t.kind != RIB_END) push_back(t);
    return 0;
}

int RibReader::read_int_list(int &count, size_t index) {
    DynArray<RtInt> &ints = rib_ints();
    ints.reserve_index(index + 256);
    return read_list(count, [&](int i, const RibToken &t) {
        if (!is_number(t)) return false;
        ints.reserve_index(index + static_cast<size_t>(i));
        ints[index + static_cast<size_t>(i)] = rib_to_int(t.value);
        return true;
    });
}

int RibReader::read_float_list(int &count, size_t index) {
    DynArray<RtFloat> &floats = rib_floats();
    floats.reserve_index(index + 256);
    return read_list(count, [&](int i, const RibToken &t) {
        if (!is_number(t)) return false;
        floats.reserve_index(index + static_cast<size_t>(i));
        floats[index + static_cast<size_t>(i)] = rib_to_float(t.value);
        return true;
    });
}

int RibReader::read_string_list(int &count, size_t index) {
    DynArray<RtToken> &strings = rib_strings();
    strings.reserve_index(index + 256);
    RibToken t;
    count = 0;
    next_token(t);
    if (t.kind == RIB_STRING) {  // one bare string
        strings[index] = NewToken(t.text.c_str());
        count = 1;
        return 0;
    }
    if (t.kind != RIB_OPEN) {
        if (t.kind != RIB_END) push_back(t);
        return fail("Quoted string expected");
    }
    for (;;) {
        next_token(t);
        if (t.kind == RIB_CLOSE) return 0;
        if (t.kind != RIB_STRING) {
            if (t.kind != RIB_END) push_back(t);
            return fail(MISSING_CLOSE);
        }
        strings.reserve_index(index + static_cast<size_t>(count));
        strings[index + static_cast<size_t>(count)] = NewToken(t.text.c_str());
        count++;
    }
}

int RibReader::read_param_value(bool &is_string, int &count, size_t float_index, size_t string_index) {
    RibToken t;
    count = 0;
    next_token(t);
    if (is_number(t)) {
        rib_floats().reserve_index(float_index);
        rib_floats()[float_index] = rib_to_float(t.value);
        is_string = false;
        count = 1;
        return 0;
    }
    if (t.kind == RIB_STRING) {
        rib_strings().reserve_index(string_index);
        rib_strings()[string_index] = NewToken(t.text.c_str());
        is_string = true;
        count = 1;
        return 0;
    }
    if (t.kind != RIB_OPEN) {
        if (t.kind != RIB_END) push_back(t);
        if (t.kind == RIB_CLOSE) return fail(EXTRA_CLOSE);
        ri_error(RIE_SYNTAX, RIE_ERROR, "Unexpected token: \"%s\"", t.text.c_str());
        return -1;
    }
    next_token(t);
    is_string = t.kind == RIB_STRING;  // the first value decides the kind
    for (;;) {
        if (t.kind == RIB_CLOSE) return 0;
        size_t i = static_cast<size_t>(count);
        if (is_string && t.kind == RIB_STRING) {
            rib_strings().reserve_index(string_index + i);
            rib_strings()[string_index + i] = NewToken(t.text.c_str());
        } else if (!is_string && is_number(t)) {
            rib_floats().reserve_index(float_index + i);
            rib_floats()[float_index + i] = rib_to_float(t.value);
        } else {
            if (t.kind != RIB_END) push_back(t);
            ri_error(RIE_SYNTAX, RIE_ERROR, "Unexpected token: \"%s\"", t.text.c_str());
            return -1;
        }
        count++;
        next_token(t);
    }
}
