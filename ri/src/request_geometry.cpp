// Readers of the geometric requests with their own syntax: fixed arguments in
// RI order, checked counts, then the primitive variables, checked against the
// counts the primitive implies.
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ri/paramlist.h"
#include "ri/reader_state.h"
#include "request_syntax.h"
#include "ri/ribreader.h"
#include "ri_common/rierror.h"
#include "ri/tokens.h"

namespace {

// Sum of count ints from rib_ints at offset; false when one is negative or the
// sum leaves the int range.
bool sum_counts(size_t offset, int count, int64_t &sum) {
    sum = 0;
    for (int i = 0; i < count; i++) {
        RtInt v = rib_ints()[offset + static_cast<size_t>(i)];
        if (v < 0) return false;
        sum += v;
        if (sum > INT_MAX) return false;
    }
    return true;
}

// Largest of count vertex indices (-1 for none); false when one is negative.
bool largest_index(size_t offset, int64_t count, int64_t &m) {
    m = -1;
    for (int64_t i = 0; i < count; i++) {
        RtInt v = rib_ints()[offset + static_cast<size_t>(i)];
        if (v < 0) return false;
        if (v > m) m = v;
    }
    return true;
}

// Multiplies counts, false when the product leaves the int range.
bool product(int64_t a, int64_t b, int64_t &out) {
    if (a < 0 || b < 0) return false;
    if (a != 0 && b > INT_MAX / a) return false;
    out = a * b;
    return true;
}

// Reads the primitive variables and checks their lengths; false when the
// request is to be dropped.
bool read_checked_params(RibReader &r, RibCursor &c, RibParamList &list, int64_t nvertex, int64_t nvarying,
                         int64_t nuniform) {
    if (read_primitive_params(r, c, list) < 0) return false;
    return !check_vertex_lengths(list, nvertex, nvarying, nuniform);
}

// n floats, then primitive variables checked as those of a quadric; false
// when the request is dropped.
bool read_floats_and_params(RibReader &r, const RibRequest &q, int n, RtFloat *a, RibParamList &list) {
    if (r.read_floats(n, a) < 0) {
        bad_arguments(q);
        return false;
    }
    RibCursor c;
    if (!read_checked_params(r, c, list, 4, 4, 1)) return false;
    list.resolve();
    return true;
}

RtInt *ints_at(size_t offset) { return &rib_ints()[offset]; }
RtFloat *floats_at(size_t offset) { return &rib_floats()[offset]; }

void bad_knots(const RibRequest &q) { ri_error(RIE_MISSINGDATA, RIE_ERROR, "Bad knot arguments to %s", q.name); }

bool is_periodic(RtToken wrap) { return std::strcmp(wrap, "periodic") == 0; }

} // namespace

void read_vertex_list_request(RibReader &r, const RibRequest &q) {
    RibCursor c;
    RibParamList list;
    int n = read_primitive_params(r, c, list);
    if (n < 0 || check_vertex_lengths(list, n, n, 1)) return;
    list.resolve();
    typedef RtVoid (*VertexListProc)(RtInt, RtInt, RtToken[], RtPointer[]);
    reinterpret_cast<VertexListProc>(q.procedure)(n, list.n, list.tokens, list.values);
}

void read_hyperboloid_request(RibReader &r, const RibRequest &q) {
    RtFloat a[7];
    RibParamList list;
    if (!read_floats_and_params(r, q, 7, a, list)) return;
    RtPoint p1 = {a[0], a[1], a[2]}, p2 = {a[3], a[4], a[5]};
    RiHyperboloidV(p1, p2, a[6], list.n, list.tokens, list.values);
}

void read_torus_request(RibReader &r, const RibRequest &q) {
    RtFloat a[5];
    RibParamList list;
    if (!read_floats_and_params(r, q, 5, a, list)) return;
    RiTorusV(a[0], a[1], a[2], a[3], a[4], list.n, list.tokens, list.values);
}

void read_patch_request(RibReader &r, const RibRequest &q) {
    RtToken type;
    if (!read_token(r, type)) return bad_arguments(q);
    RibCursor c;
    RibParamList list;
    if (!read_checked_params(r, c, list, std::strcmp(type, "bicubic") == 0 ? 16 : 4, 4, 1)) return;
    list.resolve();
    RiPatchV(type, list.n, list.tokens, list.values);
}

void read_patch_mesh_request(RibReader &r, const RibRequest &q) {
    RtToken type, uwrap, vwrap;
    RtInt nu, nv;
    if (!read_token(r, type) || !read_int(r, nu) || !read_token(r, uwrap) || !read_int(r, nv) ||
        !read_token(r, vwrap))
        return bad_arguments(q);
    for (RtToken wrap : {uwrap, vwrap})
        if (!is_periodic(wrap) && std::strcmp(wrap, "nonperiodic") != 0) {
            ri_error(RIE_SYNTAX, RIE_ERROR, "Bad wrap mode for PatchMesh: \"%s\"", wrap);
            return;
        }
    bool uper = is_periodic(uwrap), vper = is_periodic(vwrap);
    int64_t nupatch, nvpatch, nvu, nvv;
    if (std::strcmp(type, "bicubic") == 0) {
        int ustep, vstep;
        current_basis_steps(ustep, vstep);
        if (ustep < 1 || ustep > 255 || vstep < 1 || vstep > 255) return bad_arguments(q);
        nupatch = uper ? nu / ustep : (nu - 4) / ustep + 1;
        nvpatch = vper ? nv / vstep : (nv - 4) / vstep + 1;
        if (!uper && nu < 4) nupatch = 0;
        if (!vper && nv < 4) nvpatch = 0;
        nvu = uper ? nupatch : nupatch + 1;
        nvv = vper ? nvpatch : nvpatch + 1;
    } else if (std::strcmp(type, "bilinear") == 0) {
        nupatch = uper ? nu : nu - 1;
        nvpatch = vper ? nv : nv - 1;
        nvu = nu;
        nvv = nv;
    } else {
        ri_error(RIE_BADTOKEN, RIE_ERROR, "Unknown patch type: \"%s\"", type);
        return;
    }
    int64_t nvertex, nvarying, nuniform;
    if (nupatch < 1 || nvpatch < 1 || !product(nu, nv, nvertex) || !product(nvu, nvv, nvarying) ||
        !product(nupatch, nvpatch, nuniform))
        return bad_arguments(q);
    RibCursor c;
    RibParamList list;
    if (!read_checked_params(r, c, list, nvertex, nvarying, nuniform)) return;
    list.resolve();
    RiPatchMeshV(type, nu, uwrap, nv, vwrap, list.n, list.tokens, list.values);
}

void read_nu_patch_request(RibReader &r, const RibRequest &q) {
    RtInt nu, uorder, nv, vorder;
    RtFloat umin, umax, vmin, vmax;
    RibCursor c;
    if (!read_int(r, nu) || !read_int(r, uorder)) return bad_arguments(q);
    if (uorder < 1 || nu < uorder || nu > INT_MAX - uorder) return bad_arguments(q);
    size_t uknot, vknot;
    if (!take_float_array(r, c, nu + uorder, uknot)) return bad_knots(q);
    if (r.read_float(umin) < 0 || r.read_float(umax) < 0 || !read_int(r, nv) || !read_int(r, vorder))
        return bad_arguments(q);
    if (vorder < 1 || nv < vorder || nv > INT_MAX - vorder) return bad_arguments(q);
    if (!take_float_array(r, c, nv + vorder, vknot)) return bad_knots(q);
    if (r.read_float(vmin) < 0 || r.read_float(vmax) < 0) return bad_arguments(q);
    int64_t nvertex, nvarying, nuniform;
    if (!product(nu, nv, nvertex) || !product(nu - uorder + 2, nv - vorder + 2, nvarying) ||
        !product(nu - uorder + 1, nv - vorder + 1, nuniform))
        return bad_arguments(q);
    RibParamList list;
    if (!read_checked_params(r, c, list, nvertex, nvarying, nuniform)) return;
    list.resolve();
    RiNuPatchV(nu, uorder, floats_at(uknot), umin, umax, nv, vorder, floats_at(vknot), vmin, vmax, list.n,
               list.tokens, list.values);
}

void read_trim_curve_request(RibReader &r, const RibRequest &q) {
    RibCursor c;
    int nloops = 0, nknots = 0, nu = 0, nv = 0, nw = 0;
    size_t ncurves, order, knot, amin, amax, n, u, v, w;
    int64_t curves;
    if (!take_int_list(r, c, nloops, ncurves) || !sum_counts(ncurves, nloops, curves) ||
        !take_int_array(r, c, curves, order) || !take_float_list(r, c, nknots, knot) ||
        !take_float_array(r, c, curves, amin) || !take_float_array(r, c, curves, amax) ||
        !take_int_array(r, c, curves, n) || !take_float_list(r, c, nu, u) || !take_float_list(r, c, nv, v) ||
        !take_float_list(r, c, nw, w))
        return bad_arguments(q);
    // Every curve needs order + n knots and n control points.
    int64_t need_knots = 0, need_points = 0;
    for (int64_t i = 0; i < curves; i++) {
        RtInt k = rib_ints()[order + static_cast<size_t>(i)], m = rib_ints()[n + static_cast<size_t>(i)];
        if (k < 1 || m < k) return bad_arguments(q);
        need_knots += static_cast<int64_t>(k) + m;
        need_points += m;
    }
    if (nknots < need_knots || nu < need_points || nv < need_points || nw < need_points) return bad_arguments(q);
    RiTrimCurve(nloops, ints_at(ncurves), ints_at(order), floats_at(knot), floats_at(amin), floats_at(amax),
                ints_at(n), floats_at(u), floats_at(v), floats_at(w));
}

void read_general_polygon_request(RibReader &r, const RibRequest &q) {
    RibCursor c;
    int nloops = 0;
    size_t nverts;
    int64_t sum;
    if (!take_int_list(r, c, nloops, nverts) || nloops < 1 || !sum_counts(nverts, nloops, sum))
        return bad_arguments(q);
    RibParamList list;
    // The loops together take sum vertices.
    if (!read_checked_params(r, c, list, sum, sum, 1)) return;
    list.resolve();
    RiGeneralPolygonV(nloops, ints_at(nverts), list.n, list.tokens, list.values);
}

void read_points_polygons_request(RibReader &r, const RibRequest &q) {
    RibCursor c;
    int npolys = 0;
    size_t nverts, verts;
    int64_t sum, m;
    if (!take_int_list(r, c, npolys, nverts) || !sum_counts(nverts, npolys, sum) ||
        !take_int_array(r, c, sum, verts) || !largest_index(verts, sum, m))
        return bad_arguments(q);
    RibParamList list;
    if (!read_checked_params(r, c, list, m + 1, m + 1, npolys)) return;
    list.resolve();
    RiPointsPolygonsV(npolys, ints_at(nverts), ints_at(verts), list.n, list.tokens, list.values);
}

void read_points_general_polygons_request(RibReader &r, const RibRequest &q) {
    RibCursor c;
    int npolys = 0;
    size_t nloops, nverts, verts;
    int64_t loops, sum, m;
    if (!take_int_list(r, c, npolys, nloops) || !sum_counts(nloops, npolys, loops) ||
        !take_int_array(r, c, loops, nverts) || !sum_counts(nverts, static_cast<int>(loops), sum) ||
        !take_int_array(r, c, sum, verts) || !largest_index(verts, sum, m))
        return bad_arguments(q);
    RibParamList list;
    if (!read_checked_params(r, c, list, m + 1, m + 1, npolys)) return;
    list.resolve();
    RiPointsGeneralPolygonsV(npolys, ints_at(nloops), ints_at(nverts), ints_at(verts), list.n, list.tokens,
                             list.values);
}

void read_curves_request(RibReader &r, const RibRequest &q) {
    RtToken type, wrap;
    if (!read_token(r, type)) return bad_arguments(q);
    bool cubic = std::strcmp(type, "cubic") == 0;
    if (!cubic && std::strcmp(type, "linear") != 0) {
        ri_error(RIE_SYNTAX, RIE_ERROR, "Bad degree for Curves: \"%s\"", type);
        return;
    }
    RibCursor c;
    int ncurves = 0;
    size_t nvertices;
    if (!take_int_list(r, c, ncurves, nvertices) || !read_token(r, wrap)) return bad_arguments(q);
    bool periodic = is_periodic(wrap);
    if (!periodic && std::strcmp(wrap, "nonperiodic") != 0) {
        ri_error(RIE_SYNTAX, RIE_ERROR, "Bad wrap mode for Curves: \"%s\"", wrap);
        return;
    }
    int ustep, vstep;
    current_basis_steps(ustep, vstep);
    if (cubic && (vstep < 1 || vstep > 255)) return bad_arguments(q);
    int64_t nvertex = 0, nvarying = 0, nuniform = 0;
    for (int i = 0; i < ncurves; i++) {
        int64_t nv = rib_ints()[nvertices + static_cast<size_t>(i)];
        int64_t segments;
        if (cubic) {
            if (nv < (periodic ? vstep : 4)) return bad_arguments(q);
            segments = periodic ? nv / vstep : (nv - 4) / vstep + 1;
            nvarying += periodic ? segments : segments + 1;
        } else {
            if (nv < 2) return bad_arguments(q);
            segments = periodic ? nv : nv - 1;
            nvarying += nv;
        }
        nvertex += nv;
        nuniform += segments;
        if (nvertex > INT_MAX) return bad_arguments(q);
    }
    RibParamList list;
    if (!read_checked_params(r, c, list, nvertex, nvarying, nuniform)) return;
    list.resolve();
    RiCurvesV(type, ncurves, ints_at(nvertices), wrap, list.n, list.tokens, list.values);
}

void read_subdivision_mesh_request(RibReader &r, const RibRequest &q) {
    RtToken scheme;
    RibCursor c;
    int nfaces = 0;
    size_t nvertices, vertices;
    int64_t sum, m;
    if (!read_token(r, scheme) || !take_int_list(r, c, nfaces, nvertices) || !sum_counts(nvertices, nfaces, sum) ||
        !take_int_array(r, c, sum, vertices) || !largest_index(vertices, sum, m))
        return bad_arguments(q);
    // Tags come as a bracketed list; a string here begins the parameter list.
    int ntags = 0;
    size_t tags = c.strings, nargs = c.ints, intargs = c.ints, floatargs = c.floats;
    RibToken t;
    r.next_token(t);
    if (t.kind != RIB_END) r.push_back(t);
    if (t.kind == RIB_OPEN) {
        if (!take_string_list(r, c, ntags, tags) || !take_int_array(r, c, 2 * static_cast<int64_t>(ntags), nargs))
            return bad_arguments(q);
        int64_t nint = 0, nfloat = 0;
        for (int i = 0; i < ntags; i++) {
            RtInt ni = rib_ints()[nargs + 2 * static_cast<size_t>(i)];
            RtInt nf = rib_ints()[nargs + 2 * static_cast<size_t>(i) + 1];
            if (ni < 0 || nf < 0) return bad_arguments(q);
            nint += ni;
            nfloat += nf;
        }
        if (!take_int_array(r, c, nint, intargs) || !take_float_array(r, c, nfloat, floatargs))
            return bad_arguments(q);
    }
    RibParamList list;
    if (!read_checked_params(r, c, list, m + 1, m + 1, nfaces)) return;
    list.resolve();
    RiSubdivisionMeshV(scheme, nfaces, ints_at(nvertices), ints_at(vertices), ntags,
                       const_cast<RtToken *>(&rib_strings()[tags]), ints_at(nargs), ints_at(intargs),
                       floats_at(floatargs), list.n, list.tokens, list.values);
}

void read_blobby_request(RibReader &r, const RibRequest &q) {
    RtInt nleaf;
    RibCursor c;
    int ncode = 0, nflt = 0, nstr = 0;
    size_t code, flt, str;
    if (!read_int(r, nleaf) || nleaf < 0 || !take_int_list(r, c, ncode, code) ||
        !take_float_list(r, c, nflt, flt) || !take_string_list(r, c, nstr, str))
        return bad_arguments(q);
    RibParamList list;
    if (!read_checked_params(r, c, list, nleaf, nleaf, 1)) return;
    list.resolve();
    RiBlobbyV(nleaf, ncode, ints_at(code), nflt, floats_at(flt), nstr, const_cast<RtToken *>(&rib_strings()[str]),
              list.n, list.tokens, list.values);
}

void read_procedural_request(RibReader &r, const RibRequest &q) {
    RtToken method;
    if (!read_token(r, method)) return bad_arguments(q);
    RtProcSubdivFunc subdivide = nullptr;
    if (std::strcmp(method, "DelayedReadArchive") == 0) subdivide = RiProcDelayedReadArchive;
    else if (std::strcmp(method, "RunProgram") == 0) subdivide = RiProcRunProgram;
    else if (std::strcmp(method, "DynamicLoad") == 0) subdivide = RiProcDynamicLoad;
    else {
        ri_error(RIE_BADTOKEN, RIE_ERROR, "Unknown/Unsupported Procedural method: \"%s\"", method);
        return;
    }
    int ndata = 0;
    if (r.read_string_list(ndata, 0) < 0 || ndata == 0) {
        ri_error(RIE_MISSINGDATA, RIE_ERROR, "Missing data for Procedural");
        return;
    }
    RtBound bound;
    if (r.read_floats(6, bound) < 0) {
        ri_error(RIE_MISSINGDATA, RIE_ERROR, "Missing bound for Procedural");
        return;
    }
    // The data block belongs to the procedural (freed with free() by
    // RiProcFree); it always holds the name and the argument string.
    size_t slots = static_cast<size_t>(ndata < 2 ? 2 : ndata) + 1;
    RtString *data = static_cast<RtString *>(std::calloc(slots, sizeof(RtString)));
    if (!data) {
        ri_error(RIE_NOMEM, RIE_SEVERE, "out of core memory");
        return;
    }
    for (size_t i = 0; i + 1 < slots; i++)
        data[i] = i < static_cast<size_t>(ndata) ? rib_strings()[i] : NewToken("");
    RiProcedural(data, bound, subdivide, RiProcFree);
    (void)q;
}
