// Argument reading shared by the readers of requests with their own syntax.
#include <climits>
#include <string>

#include "ri/paramlist.h"
#include "request_syntax.h"
#include "ri/ribreader.h"
#include "ri_common/rierror.h"
#include "ri/tokens.h"

void bad_arguments(const RibRequest &q) { ri_error(RIE_MISSINGDATA, RIE_ERROR, "Bad arguments to %s", q.name); }

bool read_int(RibReader &r, RtInt &out) {
    double v;
    if (r.read_number(v) < 0) return false;
    out = rib_to_int(v);
    return true;
}

bool read_token(RibReader &r, RtToken &out) {
    std::string s;
    if (r.read_string(s) < 0) return false;
    out = NewToken(s.c_str());
    return true;
}

bool take_int_list(RibReader &r, RibCursor &c, int &count, size_t &at) {
    at = c.ints;
    if (r.read_int_list(count, at) < 0) return false;
    c.ints += static_cast<size_t>(count);
    return true;
}

bool take_int_array(RibReader &r, RibCursor &c, int64_t count, size_t &at) {
    at = c.ints;
    if (count < 0 || count > INT_MAX || r.read_int_array(static_cast<int>(count), at) < 0) return false;
    c.ints += static_cast<size_t>(count);
    return true;
}

bool take_float_list(RibReader &r, RibCursor &c, int &count, size_t &at) {
    at = c.floats;
    if (r.read_float_list(count, at) < 0) return false;
    c.floats += static_cast<size_t>(count);
    return true;
}

bool take_float_array(RibReader &r, RibCursor &c, int64_t count, size_t &at) {
    at = c.floats;
    if (count < 0 || count > INT_MAX || r.read_float_array(static_cast<int>(count), at) < 0) return false;
    c.floats += static_cast<size_t>(count);
    return true;
}

bool take_string_list(RibReader &r, RibCursor &c, int &count, size_t &at) {
    at = c.strings;
    if (r.read_string_list(count, at) < 0) return false;
    c.strings += static_cast<size_t>(count);
    return true;
}
