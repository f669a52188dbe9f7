// Readers of the non-geometric requests with their own syntax, and of the
// texture-making requests.
#include <cstring>
#include <map>
#include <string>

#include "ri_common/filters.h"
#include "ri/paramlist.h"
#include "ri/renderer.h"
#include "request_syntax.h"
#include "ri/ribreader.h"
#include "ri_common/rierror.h"
#include "ri/tokens.h"

extern "C" RtBasis RiBezierBasis, RiBSplineBasis, RiCatmullRomBasis, RiHermiteBasis, RiPowerBasis;

namespace {

// Light and object handles by the ids the RIB gives them.
std::map<int, RtLightHandle> &light_handles() {
    static std::map<int, RtLightHandle> m;
    return m;
}
std::map<int, RtObjectHandle> &object_handles() {
    static std::map<int, RtObjectHandle> m;
    return m;
}

// A basis: one of the five names, or 16 floats into buffer. Null after an error.
RtFloat (*read_basis(RibReader &r, RtBasis buffer))[4] {
    RibToken t;
    r.next_token(t);
    if (t.kind == RIB_STRING) {
        static const struct {
            const char *name;
            RtBasis *basis;
        } NAMED[] = {{"bezier", &RiBezierBasis}, {"b-spline", &RiBSplineBasis},
                     {"catmull-rom", &RiCatmullRomBasis}, {"hermite", &RiHermiteBasis},
                     {"power", &RiPowerBasis}};
        for (const auto &b : NAMED)
            if (t.text == b.name) return *b.basis;
        ri_error(RIE_SYNTAX, RIE_ERROR, "Bad basis name: \"%s\"", t.text.c_str());
        return nullptr;
    }
    if (t.kind != RIB_END) r.push_back(t);
    if (r.read_floats(16, &buffer[0][0]) < 0) {
        ri_error(RIE_SYNTAX, RIE_ERROR, "Bad basis");
        return nullptr;
    }
    return buffer;
}

// The filter of a name; an unknown one is reported (with no message text).
RtFilterFunc named_filter(const char *name) {
    RtFilterFunc f = filter_by_name(name);
    if (!f) ri_report(RIE_BADTOKEN, RIE_ERROR);
    return f;
}

} // namespace

void read_basis_request(RibReader &r, const RibRequest &q) {
    RtBasis ubuf, vbuf;
    RtInt ustep, vstep;
    RtFloat(*ub)[4] = read_basis(r, ubuf);
    if (!ub) return;
    if (!read_int(r, ustep)) return bad_arguments(q);
    RtFloat(*vb)[4] = read_basis(r, vbuf);
    if (!vb) return;
    if (!read_int(r, vstep)) return bad_arguments(q);
    // The steps are kept in bytes and divide the vertex counts of patch meshes.
    if (ustep < 1 || ustep > 255 || vstep < 1 || vstep > 255) return bad_arguments(q);
    RiBasis(ub, ustep, vb, vstep);
}

void read_declare_request(RibReader &r, const RibRequest &q) {
    RtToken name, decl;
    if (!read_token(r, name) || !read_token(r, decl)) return bad_arguments(q);
    RiDeclare(name, decl);
}

void read_display_request(RibReader &r, const RibRequest &q) {
    RtToken name, type, mode;
    if (!read_token(r, name) || !read_token(r, type) || !read_token(r, mode)) return bad_arguments(q);
    RibCursor c;
    RibParamList list;
    if (read_param_list(r, c, list) < 0) return;
    list.resolve();
    RiDisplayV(name, type, mode, list.n, list.tokens, list.values);
}

void read_pixel_filter_request(RibReader &r, const RibRequest &q) {
    RtToken name;
    RtFloat xwidth, ywidth;
    if (!read_token(r, name) || r.read_float(xwidth) < 0 || r.read_float(ywidth) < 0) return bad_arguments(q);
    if (RtFilterFunc f = named_filter(name)) RiPixelFilter(f, xwidth, ywidth);
}

void read_quantize_request(RibReader &r, const RibRequest &q) {
    RtToken type;
    RtInt one, qmin, qmax;
    RtFloat ampl;
    if (!read_token(r, type) || !read_int(r, one) || !read_int(r, qmin) || !read_int(r, qmax) ||
        r.read_float(ampl) < 0)
        return bad_arguments(q);
    RiQuantize(type, one, qmin, qmax, ampl);
}

void read_light_source_request(RibReader &r, const RibRequest &q) {
    RtToken name;
    RtInt id;
    if (!read_token(r, name)) {
        ri_error(RIE_SYNTAX, RIE_ERROR, "Light source shader name missing");
        return;
    }
    if (!read_int(r, id)) {
        ri_error(RIE_SYNTAX, RIE_ERROR, "Light id number missing");
        return;
    }
    RibCursor c;
    RibParamList list;
    if (read_param_list(r, c, list) < 0) return;
    list.resolve();
    bool area = std::strcmp(q.name, "AreaLightSource") == 0;
    RtLightHandle h = area ? RiAreaLightSourceV(name, list.n, list.tokens, list.values)
                           : RiLightSourceV(name, list.n, list.tokens, list.values);
    light_handles()[id] = h;
}

void read_illuminate_request(RibReader &r, const RibRequest &q) {
    RtInt id, onoff;
    if (!read_int(r, id) || !read_int(r, onoff)) return bad_arguments(q);
    auto it = light_handles().find(id);
    RiIlluminate(it == light_handles().end() ? nullptr : it->second, static_cast<RtBoolean>(onoff != 0));
}

void read_motion_begin_request(RibReader &r, const RibRequest &q) {
    int n = 0;
    if (r.read_float_list(n, 0) < 0) return bad_arguments(q);
    RiMotionBeginV(n, &rib_floats()[0]);
}

void read_object_begin_request(RibReader &r, const RibRequest &q) {
    RtInt id;
    if (!read_int(r, id)) return bad_arguments(q);
    object_handles()[id] = RiObjectBegin();
}

void read_object_instance_request(RibReader &r, const RibRequest &q) {
    RtInt id;
    if (!read_int(r, id)) return bad_arguments(q);
    auto it = object_handles().find(id);
    if (it == object_handles().end()) {
        ri_error(RIE_BADHANDLE, RIE_ERROR, "Unknown object handle %d", id);
        return;
    }
    RiObjectInstance(it->second);
}

void read_skew_request(RibReader &r, const RibRequest &q) {
    RtFloat a[7];
    if (r.read_floats(7, a) < 0) return bad_arguments(q);
    RiSkew(a[0], a[1], a[2], a[3], a[4], a[5], a[6]);
}

void read_geometric_approximation_request(RibReader &r, const RibRequest &q) {
    RtToken type;
    RtFloat value;
    if (!read_token(r, type) || r.read_float(value) < 0) return bad_arguments(q);
    RiGeometricApproximation(type, value);
}

void read_transform_points_request(RibReader &r, const RibRequest &q) {
    RtToken from, to;
    int n = 0;
    if (!read_token(r, from) || !read_token(r, to) || r.read_float_list(n, 0) < 0 || n % 3 != 0)
        return bad_arguments(q);
    RiTransformPoints(from, to, n / 3, reinterpret_cast<RtPoint *>(&rib_floats()[0]));
}

void read_error_handler_request(RibReader &r, const RibRequest &q) {
    RtToken name;
    if (!read_token(r, name)) return bad_arguments(q);
    if (std::strcmp(name, "ignore") == 0) RiErrorHandler(RiErrorIgnore);
    else if (std::strcmp(name, "print") == 0) RiErrorHandler(RiErrorPrint);
    else if (std::strcmp(name, "abort") == 0) RiErrorHandler(RiErrorAbort);
    else ri_error(RIE_BADTOKEN, RIE_WARNING, "Invalid error handler name");
}

void read_color_samples_request(RibReader &r, const RibRequest &q) {
    int n = 0;
    if (r.read_float_list(n, 0) < 0) return bad_arguments(q);
    size_t second = static_cast<size_t>(n);
    if (r.read_float_array(n, second) < 0) return bad_arguments(q);
    RiColorSamples(n / 3, &rib_floats()[0], &rib_floats()[second]);
}

void read_read_archive_request(RibReader &r, const RibRequest &q) {
    RtToken name;
    if (!read_token(r, name)) return bad_arguments(q);
    RiReadArchiveV(name, nullptr, 0, nullptr, nullptr);
}

// The texture-making requests: names and numbers in their RI order, a filter
// by name, then the parameter list.
void read_make_request(RibReader &r, const RibRequest &q) {
    RtToken s[7] = {};
    RtFloat f[3] = {};
    RtFilterFunc filter = nullptr;
    auto strings = [&](int n) {
        for (int i = 0; i < n; i++)
            if (!read_token(r, s[i])) return false;
        return true;
    };
    auto filter_and_widths = [&](int first_float) {
        RtToken name;
        if (!read_token(r, name)) return false;
        if (!(filter = named_filter(name))) return false;
        return r.read_float(f[first_float]) == 0 && r.read_float(f[first_float + 1]) == 0;
    };
    bool ok;
    const char *name = q.name;
    if (std::strcmp(name, "MakeTexture") == 0 || std::strcmp(name, "MakeBump") == 0)
        ok = strings(4) && filter_and_widths(0);
    else if (std::strcmp(name, "MakeLatLongEnvironment") == 0)
        ok = strings(2) && filter_and_widths(0);
    else if (std::strcmp(name, "MakeCubeFaceEnvironment") == 0)
        ok = strings(7) && r.read_float(f[2]) == 0 && filter_and_widths(0);
    else
        ok = strings(2);
    if (!ok) return;
    RibCursor c;
    RibParamList list;
    if (read_param_list(r, c, list) < 0) return;
    list.resolve();
    if (std::strcmp(name, "MakeTexture") == 0)
        RiMakeTextureV(s[0], s[1], s[2], s[3], filter, f[0], f[1], list.n, list.tokens, list.values);
    else if (std::strcmp(name, "MakeBump") == 0)
        RiMakeBumpV(s[0], s[1], s[2], s[3], filter, f[0], f[1], list.n, list.tokens, list.values);
    else if (std::strcmp(name, "MakeLatLongEnvironment") == 0)
        RiMakeLatLongEnvironmentV(s[0], s[1], filter, f[0], f[1], list.n, list.tokens, list.values);
    else if (std::strcmp(name, "MakeCubeFaceEnvironment") == 0)
        RiMakeCubeFaceEnvironmentV(s[0], s[1], s[2], s[3], s[4], s[5], s[6], f[2], filter, f[0], f[1], list.n,
                                   list.tokens, list.values);
    else
        RiMakeShadowV(s[0], s[1], list.n, list.tokens, list.values);
}
