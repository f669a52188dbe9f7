#include "ri/requests.h"

#include <cstring>
#include <string>

#include "ri/paramlist.h"
#include "request_syntax.h"
#include "ri/ribreader.h"
#include "ri_common/rierror.h"
#include "ri/tokens.h"

namespace {

template <class F>
constexpr void (*P(F *f))() { return reinterpret_cast<void (*)()>(f); }

const RibRequest RIB_REQUESTS[REQUEST_COUNT + 1] = {
    {"Translate", P(RiTranslate), SIG_FLOAT3, nullptr, 0},
    {"ConcatTransform", P(RiConcatTransform), SIG_MATRIX, nullptr, 0},
    {"Polygon", P(RiPolygonV), SIG_OWN_V, read_vertex_list_request, 0},
    {"Cylinder", P(RiCylinderV), SIG_QUADRIC4, nullptr, 0},
    {"Sphere", P(RiSphereV), SIG_QUADRIC4, nullptr, 0},
    {"Cone", P(RiConeV), SIG_QUADRIC3, nullptr, 0},
    {"AttributeBegin", P(RiAttributeBegin), SIG_NONE, nullptr, 0},
    {"AttributeEnd", P(RiAttributeEnd), SIG_NONE, nullptr, 0},
    {"TransformBegin", P(RiTransformBegin), SIG_NONE, nullptr, 0},
    {"TransformEnd", P(RiTransformEnd), SIG_NONE, nullptr, 0},
    {"Color", P(RiColor), SIG_COLOR, nullptr, 0},
    {"Opacity", P(RiOpacity), SIG_COLOR, nullptr, 0},
    {"Rotate", P(RiRotate), SIG_FLOAT4, nullptr, 0},
    {"Surface", P(RiSurfaceV), SIG_STRING_PARAMS, nullptr, 0},
    {"Scale", P(RiScale), SIG_FLOAT3, nullptr, 0},
    {"Hyperboloid", P(RiHyperboloidV), SIG_OWN_V, read_hyperboloid_request, 0},
    {"Paraboloid", P(RiParaboloidV), SIG_QUADRIC4, nullptr, 0},
    {"Disk", P(RiDiskV), SIG_QUADRIC3, nullptr, 0},
    {"Torus", P(RiTorusV), SIG_OWN_V, read_torus_request, 0},
    {"Format", P(RiFormat), SIG_FORMAT, nullptr, 0},
    {"SolidBegin", P(RiSolidBegin), SIG_STRING, nullptr, 0},
    {"SolidEnd", P(RiSolidEnd), SIG_NONE, nullptr, 0},
    {"LightSource", P(RiLightSourceV), SIG_OWN, read_light_source_request, 0},
    {"AreaLightSource", P(RiAreaLightSourceV), SIG_OWN, read_light_source_request, 0},
    {"Illuminate", P(RiIlluminate), SIG_OWN, read_illuminate_request, 0},
    {"Atmosphere", P(RiAtmosphereV), SIG_STRING_PARAMS, nullptr, 0},
    {"Interior", P(RiInteriorV), SIG_STRING_PARAMS, nullptr, 0},
    {"Exterior", P(RiExteriorV), SIG_STRING_PARAMS, nullptr, 0},
    {"TextureCoordinates", P(RiTextureCoordinates), SIG_FLOAT8, nullptr, 0},
    {"ShadingRate", P(RiShadingRate), SIG_FLOAT, nullptr, 0},
    {"ShadingInterpolation", P(RiShadingInterpolation), SIG_STRING, nullptr, 0},
    {"Matte", P(RiMatte), SIG_INT, nullptr, 0},
    {"Bound", P(RiBound), SIG_BOUND, nullptr, 0},
    {"Detail", P(RiDetail), SIG_BOUND, nullptr, 0},
    {"DetailRange", P(RiDetailRange), SIG_FLOAT4, nullptr, 0},
    {"GeometricApproximation", P(RiGeometricApproximation), SIG_OWN, read_geometric_approximation_request, 0},
    {"GeometricRepresentation", P(RiGeometricRepresentation), SIG_STRING, nullptr, 0},
    {"Orientation", P(RiOrientation), SIG_STRING, nullptr, 0},
    {"ReverseOrientation", P(RiReverseOrientation), SIG_NONE, nullptr, 0},
    {"Sides", P(RiSides), SIG_INT, nullptr, 0},
    {"Identity", P(RiIdentity), SIG_NONE, nullptr, 0},
    {"Transform", P(RiTransform), SIG_MATRIX, nullptr, 0},
    {"Perspective", P(RiPerspective), SIG_FLOAT, nullptr, 0},
    {"Skew", P(RiSkew), SIG_OWN, read_skew_request, 0},
    {"Deformation", P(RiDeformationV), SIG_STRING_PARAMS, nullptr, 0},
    {"Displacement", P(RiDisplacementV), SIG_STRING_PARAMS, nullptr, 0},
    {"CoordinateSystem", P(RiCoordinateSystem), SIG_STRING, nullptr, 0},
    {"TransformPoints", P(RiTransformPoints), SIG_OWN, read_transform_points_request, 0},
    {"Attribute", P(RiAttributeV), SIG_STRING_PARAMS, nullptr, 0},
    {"GeneralPolygon", P(RiGeneralPolygonV), SIG_OWN_V, read_general_polygon_request, 0},
    {"PointsPolygons", P(RiPointsPolygonsV), SIG_OWN_V, read_points_polygons_request, 0},
    {"PointsGeneralPolygons", P(RiPointsGeneralPolygonsV), SIG_OWN_V, read_points_general_polygons_request, 0},
    {"Basis", P(RiBasis), SIG_OWN, read_basis_request, 0},
    {"Patch", P(RiPatchV), SIG_OWN_V, read_patch_request, 0},
    {"PatchMesh", P(RiPatchMeshV), SIG_OWN_V, read_patch_mesh_request, 0},
    {"NuPatch", P(RiNuPatchV), SIG_OWN_V, read_nu_patch_request, 0},
    {"TrimCurve", P(RiTrimCurve), SIG_OWN_V, read_trim_curve_request, 0},
    {"Geometry", P(RiGeometryV), SIG_STRING_PARAMS, nullptr, 0},
    {"ObjectBegin", P(RiObjectBegin), SIG_OWN, read_object_begin_request, 0},
    {"ObjectEnd", P(RiObjectEnd), SIG_NONE, nullptr, 0},
    {"ObjectInstance", P(RiObjectInstance), SIG_OWN, read_object_instance_request, 0},
    {"MotionBegin", P(RiMotionBeginV), SIG_OWN, read_motion_begin_request, 0},
    {"MotionEnd", P(RiMotionEnd), SIG_NONE, nullptr, 0},
    {"Declare", P(RiDeclare), SIG_OWN, read_declare_request, 0},
    {"ReadArchive", P(RiReadArchiveV), SIG_OWN, read_read_archive_request, 0},
    {"FrameBegin", P(RiFrameBegin), SIG_INT, nullptr, 0},
    {"FrameEnd", P(RiFrameEnd), SIG_NONE, nullptr, 0},
    {"WorldBegin", P(RiWorldBegin), SIG_NONE, nullptr, 0},
    {"WorldEnd", P(RiWorldEnd), SIG_NONE, nullptr, 0},
    {"FrameAspectRatio", P(RiFrameAspectRatio), SIG_FLOAT, nullptr, 0},
    {"ScreenWindow", P(RiScreenWindow), SIG_FLOAT4, nullptr, 0},
    {"CropWindow", P(RiCropWindow), SIG_FLOAT4, nullptr, 0},
    {"Projection", P(RiProjectionV), SIG_STRING_PARAMS, nullptr, 0},
    {"Clipping", P(RiClipping), SIG_FLOAT2, nullptr, 0},
    {"DepthOfField", P(RiDepthOfField), SIG_FLOAT3, nullptr, 0},
    {"Shutter", P(RiShutter), SIG_FLOAT2, nullptr, 0},
    {"PixelVariance", P(RiPixelVariance), SIG_FLOAT, nullptr, 0},
    {"PixelSamples", P(RiPixelSamples), SIG_FLOAT2, nullptr, 0},
    {"PixelFilter", P(RiPixelFilter), SIG_OWN, read_pixel_filter_request, 0},
    {"Exposure", P(RiExposure), SIG_FLOAT2, nullptr, 0},
    {"Imager", P(RiImagerV), SIG_STRING_PARAMS, nullptr, 0},
    {"Quantize", P(RiQuantize), SIG_OWN, read_quantize_request, 0},
    {"Display", P(RiDisplayV), SIG_OWN, read_display_request, 0},
    // The vector form: the arguments read are a parameter list.
    {"Hider", P(RiHiderV), SIG_STRING_PARAMS, nullptr, 0},
    {"ColorSamples", P(RiColorSamples), SIG_OWN, read_color_samples_request, 0},
    {"RelativeDetail", P(RiRelativeDetail), SIG_FLOAT, nullptr, 0},
    {"Option", P(RiOptionV), SIG_STRING_PARAMS, nullptr, 0},
    {"MakeShadow", P(RiMakeShadowV), SIG_MAKE, read_make_request, 0},
    {"MakeTexture", P(RiMakeTextureV), SIG_MAKE, read_make_request, 0},
    {"MakeBump", P(RiMakeBumpV), SIG_MAKE, read_make_request, 0},
    {"MakeLatLongEnvironment", P(RiMakeLatLongEnvironmentV), SIG_MAKE, read_make_request, 0},
    {"MakeCubeFaceEnvironment", P(RiMakeCubeFaceEnvironmentV), SIG_MAKE, read_make_request, 0},
    {"version", nullptr, SIG_FLOAT, nullptr, 0},  // read and ignored
    {"ErrorHandler", P(RiErrorHandler), SIG_OWN, read_error_handler_request, 0},
    {"CoordSysTransform", P(RiCoordSysTransform), SIG_STRING, nullptr, 0},
    {"Curves", P(RiCurvesV), SIG_OWN_V, read_curves_request, 0},
    {"Points", P(RiPointsV), SIG_OWN_V, read_vertex_list_request, 0},
    {"Procedural", P(RiProcedural), SIG_OWN_V, read_procedural_request, 0},
    {"SubdivisionMesh", P(RiSubdivisionMeshV), SIG_OWN_V, read_subdivision_mesh_request, 0},
    {"Blobby", P(RiBlobbyV), SIG_OWN_V, read_blobby_request, 0},
    {nullptr, nullptr, 0, nullptr, 0},
};

RibRequest *request_slots() {
    static RibRequest slots[REQUEST_HASH_SIZE];
    return slots;
}

bool hash_built = false;

void badly_structured(const char *name) {
    ri_error(RIE_MISSINGDATA, RIE_ERROR, "Badly structured %s", name);
}

// Reads n floats, bracketed or bare, reporting "Badly structured" on failure.
bool read_args(RibReader &r, const char *name, int n, RtFloat *out) {
    if (r.read_floats(n, out) == 0) return true;
    badly_structured(name);
    return false;
}

// The quadrics of codes 13 and 14: fixed floats, then the primitive variables.
void dispatch_quadric(RibReader &r, const RibRequest &q, int nfixed) {
    RtFloat a[4];
    if (r.read_floats(nfixed, a) < 0) {
        ri_error(RIE_MISSINGDATA, RIE_ERROR, "Bad arguments to %s", q.name);
        return;
    }
    RibCursor cursor;
    RibParamList list;
    if (read_primitive_params(r, cursor, list) < 0 || check_vertex_lengths(list, 4, 4, 1)) {
        ri_error(RIE_SYNTAX, RIE_ERROR, "Bad primitive variables on %s", q.name);
        return;
    }
    list.resolve();
    typedef RtVoid (*Quadric3)(RtFloat, RtFloat, RtFloat, RtInt, RtToken[], RtPointer[]);
    typedef RtVoid (*Quadric4)(RtFloat, RtFloat, RtFloat, RtFloat, RtInt, RtToken[], RtPointer[]);
    if (nfixed == 3)
        reinterpret_cast<Quadric3>(q.procedure)(a[0], a[1], a[2], list.n, list.tokens, list.values);
    else
        reinterpret_cast<Quadric4>(q.procedure)(a[0], a[1], a[2], a[3], list.n, list.tokens, list.values);
}

} // namespace

const RibRequest *request_table() { return RIB_REQUESTS; }

uint32_t request_name_hash(const char *name) {
    uint32_t h = 0;
    if (!name) return 0;
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(name); *p; p++) {
        h = (h << 4) + *p;
        uint32_t g = h & 0xF0000000u;
        if (g) h ^= g ^ (g >> 24);
    }
    return h;
}

void init_request_hash() {
    if (hash_built) return;
    RibRequest *slots = request_slots();
    for (const RibRequest *row = RIB_REQUESTS; row->name; row++) {
        int slot = static_cast<int>(request_name_hash(row->name) % REQUEST_HASH_SIZE);
        while (slots[slot].name) slot = (slot + 1) % REQUEST_HASH_SIZE;
        slots[slot] = *row;
        slots[slot].slot = slot;
    }
    hash_built = true;
}

const RibRequest *find_request(const char *name) {
    if (!name) return nullptr;
    init_request_hash();
    RibRequest *slots = request_slots();
    int slot = static_cast<int>(request_name_hash(name) % REQUEST_HASH_SIZE);
    for (int probes = 0; probes < REQUEST_HASH_SIZE && slots[slot].name; probes++) {
        if (std::strcmp(slots[slot].name, name) == 0) return &slots[slot];
        slot = (slot + 1) % REQUEST_HASH_SIZE;
    }
    return nullptr;
}

void dispatch_request(RibReader &r, const char *name) {
    const RibRequest *q = find_request(name);
    if (!q) {
        ri_error(RIE_SYNTAX, RIE_ERROR, "\"%s\" is not a valid RenderMan 3.1 RIB request", name);
        return;
    }
    RtFloat f[16];
    switch (q->code) {
    case SIG_NONE:
        if (std::strcmp(q->name, "WorldEnd") == 0) shrink_rib_arrays();
        reinterpret_cast<RtVoid (*)()>(q->procedure)();
        return;
    case SIG_INT: {
        double v;
        if (r.read_number(v) < 0) {
            ri_error(RIE_SYNTAX, RIE_ERROR, "Integer expected after %s", q->name);
            return;
        }
        reinterpret_cast<RtVoid (*)(RtInt)>(q->procedure)(rib_to_int(v));
        return;
    }
    case SIG_STRING: {
        std::string s;
        if (r.read_string(s) < 0) {
            ri_error(RIE_SYNTAX, RIE_ERROR, "String expected after %s", q->name);
            return;
        }
        reinterpret_cast<RtVoid (*)(RtToken)>(q->procedure)(NewToken(s.c_str()));
        return;
    }
    case SIG_COLOR:
    case SIG_BOUND:
    case SIG_MATRIX: {
        int n = q->code == SIG_COLOR ? 3 : q->code == SIG_BOUND ? 6 : 16;
        if (!read_args(r, q->name, n, f)) return;
        reinterpret_cast<RtVoid (*)(RtFloat *)>(q->procedure)(f);
        return;
    }
    case SIG_FLOAT:
    case SIG_FLOAT2:
        for (int i = 0; i < (q->code == SIG_FLOAT ? 1 : 2); i++) {
            if (r.read_float(f[i]) < 0) {
                badly_structured(q->name);
                return;
            }
        }
        if (!q->procedure) return;  // "version"
        if (q->code == SIG_FLOAT) reinterpret_cast<RtVoid (*)(RtFloat)>(q->procedure)(f[0]);
        else reinterpret_cast<RtVoid (*)(RtFloat, RtFloat)>(q->procedure)(f[0], f[1]);
        return;
    case SIG_FLOAT3:
        if (!read_args(r, q->name, 3, f)) return;
        reinterpret_cast<RtVoid (*)(RtFloat, RtFloat, RtFloat)>(q->procedure)(f[0], f[1], f[2]);
        return;
    case SIG_FLOAT4:
        if (!read_args(r, q->name, 4, f)) return;
        reinterpret_cast<RtVoid (*)(RtFloat, RtFloat, RtFloat, RtFloat)>(q->procedure)(f[0], f[1], f[2], f[3]);
        return;
    case SIG_FLOAT8:
        if (!read_args(r, q->name, 8, f)) return;
        reinterpret_cast<RtVoid (*)(RtFloat, RtFloat, RtFloat, RtFloat, RtFloat, RtFloat, RtFloat, RtFloat)>(
            q->procedure)(f[0], f[1], f[2], f[3], f[4], f[5], f[6], f[7]);
        return;
    case SIG_FORMAT: {
        double v[3];
        for (double &x : v) {
            if (r.read_number(x) < 0) {
                badly_structured(q->name);
                return;
            }
        }
        reinterpret_cast<RtVoid (*)(RtInt, RtInt, RtFloat)>(q->procedure)(rib_to_int(v[0]), rib_to_int(v[1]),
                                                                          rib_to_float(v[2]));
        return;
    }
    case SIG_STRING_PARAMS: {
        std::string s;
        if (r.read_string(s) < 0) {
            badly_structured(q->name);
            return;
        }
        RtToken token = NewToken(s.c_str());
        RibCursor cursor;
        RibParamList list;
        if (read_param_list(r, cursor, list) < 0) return;
        list.resolve();
        reinterpret_cast<RtVoid (*)(RtToken, RtInt, RtToken[], RtPointer[])>(q->procedure)(
            token, list.n, list.tokens, list.values);
        return;
    }
    case SIG_QUADRIC3:
        dispatch_quadric(r, *q, 3);
        return;
    case SIG_QUADRIC4:
        dispatch_quadric(r, *q, 4);
        return;
    default:
        q->syntax(r, *q);
        return;
    }
}
