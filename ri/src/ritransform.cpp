// The RI transformation procedures: concatenation with motion keys, the
// transformation stack, motion blocks, orientation and coordinate systems.
#include <cmath>
#include <cstring>
#include <vector>

#include "ri/front_end.h"
#include "ri/renderer.h"
#include "ri_common/rierror.h"
#include "ri/stdtokens.h"
#include "ri/tokens.h"

namespace {

// Applies the four products of A to one key of t.
void concat_key(Transformation *t, int key, const float *A, const float *Ainv,
                const float *AinvT, const float *At)
{
    concat_matrix(t->key_matrix(key, TM_M), A, 1);          // M = A x M
    concat_matrix(t->key_matrix(key, TM_INVERSE), Ainv, 0);  // Minv = Minv x Ainv
    concat_matrix(t->key_matrix(key, TM_NORMAL), AinvT, 1);  // N = AinvT x N
    concat_matrix(t->key_matrix(key, TM_TRANSPOSE), At, 0);  // Mt = Mt x At
}

// The common end of every transformation call: A applies before the current
// transformation (M' = A x M); inside a motion block the first call fills the
// first key and the block's last call the second.
void apply_transform(Renderer *r, const float *A, bool rotation)
{
    if (r->level == 0) ri_report(RIE_NOTATTRIBS, RIE_ERROR);
    int max_times = r->max_motion_times();
    int key = 0;
    if (r->level & LEVEL_MOTION) {
        key = motion_spec_key(r);
        r->motion_specs++;
        // Middle and surplus keys, and second keys the back end cannot keep, are ignored.
        if (key < 0 || key >= max_times) return;
    }
    float At[16], Ainv[16], AinvT[16];
    transpose_matrix(A, At);
    float det = invert_matrix(A, Ainv);
    transpose_matrix(Ainv, AinvT);
    if (r->transformation->refcount > 1)
        r->transformation.set(new Transformation(*r->transformation));
    Transformation *t = r->transformation.get();
    if (!rotation) t->flags &= ~TF_ROTATION;
    if (det < 0) t->flags ^= TF_LEFTHANDED;
    if (!(r->level & LEVEL_MOTION) || r->motion_times < 2) {
        concat_key(t, 0, A, Ainv, AinvT, At);
        if (t->moving()) {
            if (!t->second) return ri_assert_report("ritrans", __LINE__);
            concat_key(t, 1, A, Ainv, AinvT, At);
        }
        return;
    }
    if (key == 0) {
        if (!t->moving() && max_times >= 2) t->start_motion();
        concat_key(t, 0, A, Ainv, AinvT, At);
    } else {
        if (!t->second) return ri_assert_report("ritrans", __LINE__);
        concat_key(t, 1, A, Ainv, AinvT, At);
    }
}

bool in_motion(const Renderer *r)
{
    return (r->level & LEVEL_MOTION) != 0;
}

// A refused transformation still fills its key inside a motion block.
void refuse(Renderer *r)
{
    if (in_motion(r)) {
        float I[16];
        identity_matrix(I);
        apply_transform(r, I, false);
    }
}

void pop_transformation(Renderer *r)
{
    if (r->transformation_depth <= 0) {
        ri_error(RIE_NESTING, RIE_ERROR, "Transformation stack underflow");
        return;
    }
    r->transformation_depth--;
    r->transformation = r->transformation_stack[r->transformation_depth];
    r->transformation_stack[r->transformation_depth].clear();
}

} // namespace

RtVoid ri_front::Identity(void)
{
    Renderer *r = renderer_or_report();
    if (!r) return;
    if (r->level == 0) {
        ri_report(RIE_NOTATTRIBS, RIE_ERROR);
        return;
    }
    // As RiTransform: inside a motion block a later key must not lose the first.
    RtMatrix I;
    identity_matrix(&I[0][0]);
    RiTransform(I);
}

RtVoid ri_front::Transform(RtMatrix transform)
{
    Renderer *r = renderer_or_report();
    if (!r) return;
    if (!(in_motion(r) && r->motion_specs > 0)) {
        Transformation *fresh = new Transformation;
        if (r->transformation.is_set()) {
            fresh->t0 = r->transformation->t0;
            fresh->t1 = r->transformation->t1;
        }
        r->transformation.set(fresh);
    }
    apply_transform(r, &transform[0][0], false);
}

RtVoid ri_front::ConcatTransform(RtMatrix transform)
{
    Renderer *r = renderer_or_report();
    if (!r) return;
    apply_transform(r, &transform[0][0], false);
}

RtVoid ri_front::Perspective(RtFloat fov)
{
    Renderer *r = renderer_or_report();
    if (!r) return;
    if (!(fov > 0 && fov < 180)) {
        ri_error(RIE_RANGE, RIE_ERROR, "RiPerspective: field of view %g out of range", fov);
        refuse(r);
        return;
    }
    float t = std::tan(radians(fov * 0.5f));
    float A[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, t, t, 0, 0, -1, 0};
    apply_transform(r, A, false);
}

RtVoid ri_front::Translate(RtFloat dx, RtFloat dy, RtFloat dz)
{
    Renderer *r = renderer_or_report();
    if (!r) return;
    if (dx == 0 && dy == 0 && dz == 0 && !in_motion(r)) return;
    float v[3] = {dx, dy, dz}, A[16];
    simple_transform_matrix(A, v, 1);
    apply_transform(r, A, false);
}

RtVoid ri_front::Rotate(RtFloat angle, RtFloat dx, RtFloat dy, RtFloat dz)
{
    Renderer *r = renderer_or_report();
    if (!r) return;
    if (angle == 0 && !in_motion(r)) return;
    float axis[3] = {dx, dy, dz};
    if (!(vnormalize(axis) >= 1e-12f)) {
        ri_error(RIE_RANGE, RIE_ERROR, "RiRotate: rotation axis has no direction");
        refuse(r);
        return;
    }
    float A[16];
    axis_rotation_matrix(A, radians(angle), axis);
    apply_transform(r, A, true);
}

RtVoid ri_front::Scale(RtFloat sx, RtFloat sy, RtFloat sz)
{
    Renderer *r = renderer_or_report();
    if (!r) return;
    if (sx == 1 && sy == 1 && sz == 1 && !in_motion(r)) return;
    float v[3] = {sx, sy, sz}, A[16];
    simple_transform_matrix(A, v, 3);
    apply_transform(r, A, false);
}

RtVoid ri_front::Skew(RtFloat angle, RtFloat dx1, RtFloat dy1, RtFloat dz1,
                      RtFloat dx2, RtFloat dy2, RtFloat dz2)
{
    Renderer *r = renderer_or_report();
    if (!r) return;
    Point a(dx1, dy1, dz1), b(dx2, dy2, dz2);
    a.normalize();
    b.normalize();
    Point c = cross(a, b);
    float w = dot(a, b);
    // Zero or parallel axes span no plane to skew in.
    if (!(c.normalize() >= 1e-6f) || !(w >= -1 && w <= 1)) {
        ri_error(RIE_RANGE, RIE_ERROR, "RiSkew axes are zero or parallel");
        refuse(r);
        return;
    }
    double rad = radians(angle);
    double f = std::acos((double)w);
    if (f <= rad || rad <= f - 3.141592653589793) {
        ri_error(RIE_RANGE, RIE_ERROR, "RiSkew angle too large for the axes");
        float I[16];
        identity_matrix(I);
        apply_transform(r, I, false);
        return;
    }
    Matrix4 R(c.x, c.y, c.z, 0, a.x, a.y, a.z, 0, b.x, b.y, b.z, 0, 0, 0, 0, 1);
    double s = std::sqrt(1.0 - (double)w * w);
    double d = std::tan(rad + std::acos(s)) * s - w;
    Matrix4 K(1.0f);
    K.at(1, 2) = (float)d;
    Matrix4 A = (R.inverse() * K) * R;
    apply_transform(r, A.m, false);
}

RtVoid ri_front::CoordinateSystem(RtToken space)
{
    Renderer *r = renderer_or_report();
    if (!r || !space) return;
    coordinate_systems().define(space, r->transformation);
    if (!(r->level & LEVEL_WORLD)) r->note_camera_space(space);
}

RtVoid ri_front::CoordSysTransform(RtToken space)
{
    Renderer *r = renderer_or_report();
    if (!r) return;
    if (r->level == 0) {
        ri_report(RIE_NOTATTRIBS, RIE_ERROR);
        return;
    }
    if (r->level < LEVEL_WORLD) {
        ri_error(RIE_NOTATTRIBS, RIE_ERROR, "RiCoordSysTransform: can be used only inside World block");
        return;
    }
    float open[4][4], close[4][4];
    float topen = r->options.shutter_open, tclose = r->options.shutter_close;
    if (!find_space_matrix(space, tok::world, topen, &open[0][0])) {
        ri_error(RIE_BADTOKEN, RIE_ERROR, "RiCoordSysTransform: space \"%s\" unknown", space ? space : "");
        return;
    }
    find_space_matrix(space, tok::world, tclose, &close[0][0]);
    // A space that stays put gives a static transformation, so that a motion
    // block of the user's own times may follow.
    if (memcmp(open, close, sizeof open) == 0 && !in_motion(r)) {
        RiTransform(open);
        return;
    }
    RiMotionBegin(2, (double)topen, (double)tclose);
    RiTransform(open);
    RiTransform(close);
    RiMotionEnd();
}

RtPoint *ri_front::TransformPoints(RtToken fromspace, RtToken tospace, RtInt n, RtPoint points[])
{
    Renderer *r = renderer_or_report();
    if (!r) return nullptr;
    float m[16];
    if (!find_space_matrix(fromspace, tospace, r->options.shutter_open, m)) return nullptr;
    for (int i = 0; i < n; i++) point_times_matrix_in_place(points[i], m);
    return points;
}

RtVoid ri_front::TransformBegin(void)
{
    Renderer *r = renderer_or_report();
    if (!r) return;
    if (r->transformation_depth >= RENDERER_STACK_DEPTH) {
        ri_error(RIE_LIMIT, RIE_SEVERE, "Transformation stack overflow");
        return;
    }
    r->transformation_stack[r->transformation_depth++] = r->transformation;
    r->transformation.set(new Transformation(*r->transformation));
}

RtVoid ri_front::TransformEnd(void)
{
    Renderer *r = renderer_or_report();
    if (!r) return;
    pop_transformation(r);
}

RtVoid ri_front::MotionBeginV(RtInt n, RtFloat times[])
{
    Renderer *r = renderer_or_report();
    if (!r) return;
    if (in_motion(r)) {
        ri_report(RIE_BADMOTION, RIE_ERROR);
        return;
    }
    if (n < 1 || !times) {
        ri_error(RIE_MISSINGDATA, RIE_ERROR, "MotionBegin without times");
        return;
    }
    // Keys are interpolated linearly between two times: a block of more
    // keeps its first and last.
    if (n > 2) ri_error_once(RIE_LIMIT, RIE_INFO, "Motion blocks of more than two times keep their first and last keys");
    float first = times[0], last = times[n - 1];
    if (r->transformation->refcount > 1)
        r->transformation.set(new Transformation(*r->transformation));
    Transformation *t = r->transformation.get();
    if (n >= 2) {
        if (t->moving() && (first != t->t0 || last != t->t1))
            ri_error(RIE_BADMOTION, RIE_ERROR, "Times do not match: %g %g vs. %g %g", first, last, t->t0, t->t1);
        t->t0 = first;
        t->t1 = last;
    }
    r->motion_time_values[0] = first;
    r->motion_time_values[1] = last;
    r->level |= LEVEL_MOTION;
    r->motion_specs = 0;
    r->motion_times = n;
}

RtVoid ri_front::MotionEnd(void)
{
    Renderer *r = renderer_or_report();
    if (!r) return;
    if (!in_motion(r)) {
        ri_report(RIE_BADMOTION, RIE_ERROR);
        return;
    }
    if (r->motion_specs == 0)
        ri_error(RIE_BADMOTION, RIE_WARNING, "Empty motion block");
    else if (r->motion_specs != r->motion_times)
        ri_error(RIE_BADMOTION, RIE_ERROR, "Wrong number of motion specifications: %d expected, %d found",
                 r->motion_times, r->motion_specs);
    r->motion_specs = 0;
    r->motion_times = 0;
    r->level &= ~LEVEL_MOTION;
}

RtVoid ri_front::ReverseOrientation(void)
{
    Renderer *r = renderer_or_report();
    if (!r) return;
    if (r->level == 0) ri_report(RIE_NOTATTRIBS, RIE_WARNING);
    unshare_gstate(r);
    r->attributes->orientation ^= 1;
}

RtVoid ri_front::Orientation(RtToken orientation)
{
    Renderer *r = renderer_or_report();
    if (!r) return;
    if (r->level == 0) ri_report(RIE_NOTATTRIBS, RIE_WARNING);
    unshare_gstate(r);
    int p = (r->transformation->flags & TF_LEFTHANDED) ? 1 : 0;
    if (r->options.camera.is_set() && (r->options.camera->flags & TF_LEFTHANDED)) p ^= 1;
    GState *g = r->attributes.get();
    const char *o = orientation ? orientation : "";
    if (!strcmp(o, "lh")) g->orientation = (g->orientation & ~1u) | (uint32_t)p;
    else if (!strcmp(o, "rh")) g->orientation = (g->orientation & ~1u) | (uint32_t)!p;
    else if (!strcmp(o, "outside")) g->orientation &= ~1u;
    else if (!strcmp(o, "inside")) g->orientation |= 1u;
}

// Used by RiAttributeEnd.
void ri_pop_transformation(Renderer *r)
{
    pop_transformation(r);
}
