// Transform operations: points, vectors, normals and matrices between
// coordinate spaces, by numeric space code, by space name (one name: from
// current space; two names: from the first to the second) and by matrix.
// Current space is world space. Normals go by the transposed inverse.
#include <cstring>

#include "ri/renderer.h"
#include "ri_common/rierror.h"
#include "ri/stdtokens.h"
#include "ri/tokens.h"
#include "shading/interp.h"
#include "shading/opmodules.h"
#include "shading/scene_access.h"
#include "shading/shadingpoint.h"
#include "spaces.h"

namespace {

enum Kind { POINT, VECTOR, NORMAL };

void report_space(const char *name)
{
    ri_error(RIE_LIMIT, RIE_ERROR, "illegal transform space in shader: \"%s\"", name ? name : "");
}

void report_space_code(float code)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", code);
    report_space(text);
}

// n x (M inverse) transposed, on the upper 3x3 of M.
void normal_times_matrix(const float *n, const float *m, float *out)
{
    float a[16], inv[16];
    identity_matrix(a);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) a[4 * i + j] = m[4 * i + j];
    invert_matrix(a, inv);
    float r[3];
    for (int j = 0; j < 3; ++j) r[j] = inv[4 * j] * n[0] + inv[4 * j + 1] * n[1] + inv[4 * j + 2] * n[2];
    std::memcpy(out, r, sizeof r);
}

void apply_matrix(Kind kind, float *v, const float *m)
{
    float r[3];
    if (kind == POINT) point_times_matrix(v, m, r);
    else if (kind == VECTOR) vector_times_matrix(v, m, r);
    else normal_times_matrix(v, m, r);
    std::memcpy(v, r, sizeof r);
}

// Through a transformation: from world space into its space, or back.
void apply_transformation(Kind kind, float *v, const Transformation *t, bool to_world, float time)
{
    float r[3];
    if (kind == POINT) {
        if (to_world) t->point_to_world(v, r, time);
        else t->point_from_world(v, r, time);
    } else if (kind == VECTOR) {
        if (to_world) t->vector_to_world(v, r, time);
        else t->vector_from_world(v, r, time);
    } else {
        if (to_world) t->normal_to_world(v, r, time);
        else t->normal_from_world(v, r, time);
    }
    std::memcpy(v, r, sizeof r);
}

// The space-code forms: the code is popped first, the value is changed in
// place. Points know 101 and 102 (back from shader and object space);
// vectors and normals leave 0 unchanged.
template <Kind KIND>
void op_transform_code(ExecFrame *, ShaderVars *sv)
{
    float code = slstack.pop_float();
    float *v = slstack.top_ptr(3);
    const Transformation *t = nullptr;
    bool to_world = false;
    int c = static_cast<int>(code);
    if (static_cast<float>(c) != code) c = -1;
    if (KIND != POINT && c == 0) return;
    switch (c) {
    case 4:
        return;
    case 1:
    case 101:
        t = sv->ssx.get();
        to_world = c == 101;
        break;
    case 2:
    case 102:
        t = object_transformation(sv);
        to_world = c == 102;
        break;
    case 3:
        // Into camera space: the camera transformation applied forward.
        if (current_renderer) t = current_renderer->options.camera.get();
        to_world = true;
        break;
    default:
        c = -1;
    }
    if (c < 0 || (KIND != POINT && c > 100)) {
        report_space_code(code);
        return;
    }
    if (t) apply_transformation(KIND, v, t, to_world, sv->time);
}

// The named-space forms: one or two names on the string stack, the value in
// place; a matrix form multiplies by the matrix on top of the value (after
// taking the value from the named space to current space).
template <Kind KIND, int NAMES, bool MATRIX>
void op_transform_named(ExecFrame *, ShaderVars *sv)
{
    float m[16];
    if (MATRIX) slstack.pop_matrix(m);
    const char *from = tok::current, *to = tok::current;
    if (NAMES == 1 && !MATRIX) to = slstack.pop_string();
    if (NAMES == 1 && MATRIX) from = slstack.pop_string();
    if (NAMES == 2) {
        from = slstack.pop_string();
        to = slstack.pop_string();
    }
    float *v = slstack.top_ptr(3);
    if (slstack.failed()) return;
    if (NAMES > 0) {
        float x[16];
        if (space_matrix(sv, from, to, KIND != POINT, x)) apply_matrix(KIND, v, x);
    }
    if (MATRIX) apply_matrix(KIND, v, m);
}

// Matrices: M times the matrix from current (or the first name) to the
// (second) named space.
template <int NAMES>
void op_mtransform(ExecFrame *, ShaderVars *sv)
{
    const char *from = tok::current;
    if (NAMES == 2) from = slstack.pop_string();
    const char *to = slstack.pop_string();
    float *m = slstack.top_ptr(16);
    if (slstack.failed()) return;
    float x[16], r[16];
    if (!space_matrix(sv, from, to, false, x)) return;
    matrix_multiply(m, x, r);
    std::memcpy(m, r, sizeof r);
}

} // namespace

bool known_space(const char *name)
{
    RtToken t = NewToken(name);
    return t == tok::current || t == tok::world || t == tok::camera || t == tok::screen ||
           t == tok::raster || t == tok::NDC || t == tok::object || t == tok::shader ||
           coordinate_systems().find(t) != nullptr;
}

bool space_matrix(ShaderVars *sv, const char *from, const char *to, bool vector, float out[16])
{
    for (const char *name : {from, to}) {
        if (!name || !known_space(name)) {
            report_space(name);
            return false;
        }
    }
    if (!current_renderer) return false;
    return current_renderer->space_to_space(from, to, sv->ssx.get(),
                                            const_cast<Transformation *>(object_transformation(sv)),
                                            vector ? 1 : 0, out, sv->time) != 0;
}

const Transformation *object_transformation(const ShadingPoint *sv)
{
    SceneAccess *scene = sv && sv->obj ? current_scene() : nullptr;
    return scene ? scene->object_transformation(sv->obj) : nullptr;
}

namespace {

constexpr OpBinding ROWS[] = {
    {"ptransform", op_transform_code<POINT>},                // also transform
    {"vtransform", op_transform_code<VECTOR>},
    {"ntransform", op_transform_code<NORMAL>},
    {"ptransforms", op_transform_named<POINT, 1, false>},    // also transforms
    {"vtransforms", op_transform_named<VECTOR, 1, false>},
    {"ntransforms", op_transform_named<NORMAL, 1, false>},
    {"ptransformss", op_transform_named<POINT, 2, false>},   // also transform2s, ptransform2s, transformss
    {"vtransformss", op_transform_named<VECTOR, 2, false>},  // also vtransform2s
    {"ntransformss", op_transform_named<NORMAL, 2, false>},  // also ntransform2s
    {"ptransformm", op_transform_named<POINT, 0, true>},     // also transformm
    {"vtransformm", op_transform_named<VECTOR, 0, true>},
    {"ntransformm", op_transform_named<NORMAL, 0, true>},
    {"ptransformms", op_transform_named<POINT, 1, true>},    // also transformms
    {"vtransformms", op_transform_named<VECTOR, 1, true>},
    {"ntransformms", op_transform_named<NORMAL, 1, true>},
    {"mtransforms", op_mtransform<1>},
    {"mtransformss", op_mtransform<2>},
};

} // namespace

constexpr OpBindings TRANSFORM_OPS = op_bindings(shading::OpModule::Transform, ROWS);
