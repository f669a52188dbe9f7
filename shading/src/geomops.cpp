// Geometry of the shading language: facing, reflection, refraction, Fresnel
// terms, distance to a segment, rotation about an axis, camera depth, and the
// matrix functions. The first argument of a call is on top of the stack.
#include <cmath>

#include "ri/renderer.h"
#include "ri/transformation.h"
#include "shading/opmodules.h"
#include "opstack.h"
#include "shading/lightmath.h"
#include "shading/shadingpoint.h"

using opstack::matrix;
using opstack::replace;
using opstack::triple;

namespace {

// -N when the reference faces the same way as I.
Point face_by(const Point &N, const Point &I, const Point &ref)
{
    return dot(ref, I) > 0 ? -N : N;
}

// faceforward (N, I) against the point's geometric normal.
void op_faceforward(ExecFrame *, ShaderVars *sv)
{
    float *p = slstack.top_ptr(6);
    replace(6, face_by(triple(p), triple(p + 3), sv->Ng));
}

// faceforward (N, I, Nref).
void op_faceforward3(ExecFrame *, ShaderVars *)
{
    float *p = slstack.top_ptr(9);
    replace(9, face_by(triple(p), triple(p + 3), triple(p + 6)));
}

// reflect (I, N).
void op_reflect(ExecFrame *, ShaderVars *)
{
    float *p = slstack.top_ptr(6);
    replace(6, reflect(triple(p), triple(p + 3)));
}

// refract (I, N, eta).
void op_refract(ExecFrame *, ShaderVars *)
{
    float *p = slstack.top_ptr(7);
    replace(7, refract(triple(p), triple(p + 3), p[6]));
}

// fresnel (I, N, eta): Kt, then Kr on top; the four-result form has the
// transmitted and then the reflected direction beneath them.
template <bool DIRECTIONS>
void op_fresnel(ExecFrame *, ShaderVars *)
{
    float *p = slstack.top_ptr(7);
    FresnelTerms t = fresnel(triple(p), triple(p + 3), p[6]);
    float r[8] = {t.Kr, t.Kt, t.R.x, t.R.y, t.R.z, t.T.x, t.T.y, t.T.z};
    replace(7, r, DIRECTIONS ? 8 : 2);
}

// ptlined (P0, P1, Q): distance from Q to the segment P0-P1.
void op_ptlined(ExecFrame *, ShaderVars *)
{
    float *p = slstack.top_ptr(9);
    Point p0 = triple(p), p1 = triple(p + 3), q = triple(p + 6);
    Point d = p1 - p0;
    float len = d.normalize();
    float t = dot(q - p0, d);
    float dist;
    if (t < 0) dist = (q - p0).length();
    else if (t > len) dist = (q - p1).length();
    else dist = ((q - p0) - d * t).length();
    replace(9, dist);
}

// rotate (Q, angle, P0, P1): Q about the axis through P0 towards P1.
void op_rotate(ExecFrame *, ShaderVars *)
{
    float *p = slstack.top_ptr(10);
    Point q = triple(p), p0 = triple(p + 4), axis = triple(p + 7) - p0;
    float angle = p[3];
    // Without an axis there is nothing to turn about.
    if (normalize(axis) != Point(0, 0, 0)) q = (q - p0) * RotateMatrix4(angle, axis, 1) + p0;
    replace(10, q);
}

// depth (P): camera depth between the clipping planes.
void op_depth(ExecFrame *, ShaderVars *sv)
{
    float *p = slstack.top_ptr(3);
    Point c = triple(p);
    float near = 0, far = 1;
    if (current_renderer) {
        const Options &o = current_renderer->options;
        if (o.camera.is_set()) {
            float tmp[16];
            point_times_matrix_in_place(c.data(), o.camera->matrix_at(TM_M, sv->time, tmp));
        }
        near = o.near_clip;
        far = o.far_clip;
    }
    replace(3, (c.z - near) / (far - near));
}

void op_determinant(ExecFrame *, ShaderVars *)
{
    float *p = slstack.top_ptr(16);
    float det = 0;
    matrix(p).inverse(&det);
    replace(16, det);
}

// mtranslate (M, v) and mscale (M, v): M times the matrix made from v.
template <int KIND>
void op_msimple(ExecFrame *, ShaderVars *)
{
    float *p = slstack.top_ptr(19);
    Matrix4 t;
    simple_transform_matrix(t.m, p + 16, KIND);
    replace(19, matrix(p) * t);
}

// mrotate (M, angle, axis).
void op_mrotate(ExecFrame *, ShaderVars *)
{
    float *p = slstack.top_ptr(20);
    replace(20, matrix(p) * RotateMatrix4(p[16], triple(p + 17), 1));
}

constexpr OpBinding ROWS[] = {
    {"faceforward", op_faceforward},
    {"faceforward3", op_faceforward3},
    {"reflect", op_reflect},
    {"refract", op_refract},
    {"fresnel2", op_fresnel<false>},
    {"fresnel4", op_fresnel<true>},
    {"ptlined", op_ptlined},
    {"rotate", op_rotate},
    {"depth", op_depth},
    {"determinant", op_determinant},
    {"mtranslate", op_msimple<1>},
    {"mscale", op_msimple<3>},
    {"mrotate", op_mrotate},
};

} // namespace

constexpr OpBindings GEOMETRY_OPS = op_bindings(shading::OpModule::Geometry, ROWS);
