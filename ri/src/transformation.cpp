#include "ri/transformation.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "ri/recordpool.h"
#include "ri_common/rierror.h"
#include "ri/tokens.h"

namespace {


float row_scale(const float *m)
{
    float r = 0;
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) r += m[i * 4 + j] * m[i * 4 + j];
    return std::sqrt(r * 0.33333334f);
}

} // namespace

static RecordPool &transformation_pool()
{
    static RecordPool pool(sizeof(Transformation), 14, "No memory for transformations");
    return pool;
}

StatCounter &transformation_counter()
{
    return transformation_pool().counter;
}

StatCounter &extra_matrix_counter()
{
    static StatCounter counter;
    return counter;
}

void *Transformation::operator new(size_t size)
{
    RI_ASSERT(size <= sizeof(Transformation), "ritrans");
    return transformation_pool().take();
}

void Transformation::operator delete(void *p)
{
    transformation_pool().give_back(p);
}

Transformation::Transformation() : second(nullptr), t0(0), t1(0), flags(0)
{
    for (int i = 0; i < 4; i++) identity_matrix(statics[i]);
}

Transformation::Transformation(const Transformation &o) : RefCounted(), second(nullptr)
{
    *this = o;
}

Transformation &Transformation::operator=(const Transformation &o)
{
    if (this == &o) return *this;
    t0 = o.t0;
    t1 = o.t1;
    flags = o.flags & (TF_MOVING | TF_LEFTHANDED | TF_ROTATION);
    memcpy(statics, o.statics, sizeof statics);
    if (o.second) {
        if (!second) {
            second = new float[64];
            extra_matrix_counter().add(4);
        }
        memcpy(second, o.second, 64 * sizeof(float));
    } else {
        free_motion();
    }
    return *this;
}

void Transformation::start_motion()
{
    if (!second) {
        second = new float[64];
        memcpy(second, statics, 64 * sizeof(float));
        extra_matrix_counter().add(4);
    }
    flags |= TF_MOVING;
}

void Transformation::free_motion()
{
    if (second) {
        delete[] second;
        second = nullptr;
        extra_matrix_counter().subtract(4);
    }
    flags &= ~TF_MOVING;
}

const float *Transformation::matrix_at(int which, float t, float tmp[16]) const
{
    if (!moving() || !second || t <= t0) return statics[which];
    const float *b = second + 16 * which;
    if (t >= t1) return b;
    float e = (t - t0) / (t1 - t0);
    const float *a = statics[which];
    for (int i = 0; i < 16; i++) tmp[i] = e * b[i] + (1 - e) * a[i];
    return tmp;
}

void Transformation::follow_with(const float *b)
{
    float binv[16];
    float det = invert_matrix(b, binv);
    for (int key = 0; key < (second ? 2 : 1); key++) {
        float *m = key_matrix(key, TM_M), *minv = key_matrix(key, TM_INVERSE);
        concat_matrix(m, b, 0);
        concat_matrix(minv, binv, 1);
        transpose_matrix(minv, key_matrix(key, TM_NORMAL));
        transpose_matrix(m, key_matrix(key, TM_TRANSPOSE));
    }
    if (det < 0) flags ^= TF_LEFTHANDED;
    flags &= ~TF_ROTATION;
}

TransformationRef nest_transformation(const Transformation *inner, const TransformationRef &outer)
{
    float I[16];
    identity_matrix(I);
    if (!inner || (!inner->moving() && memcmp(inner->statics[TM_M], I, sizeof I) == 0)) return outer;
    Transformation *t = outer.is_set() ? new Transformation(*outer) : new Transformation;
    if (inner->moving() && !t->moving()) {
        t->start_motion();
        t->t0 = inner->t0;
        t->t1 = inner->t1;
    }
    for (int key = 0; key < (t->moving() ? 2 : 1); key++) {
        int ik = inner->moving() ? key : 0;
        float *m = t->key_matrix(key, TM_M), *minv = t->key_matrix(key, TM_INVERSE);
        concat_matrix(m, inner->key_matrix(ik, TM_M), 1);
        concat_matrix(minv, inner->key_matrix(ik, TM_INVERSE), 0);
        transpose_matrix(minv, t->key_matrix(key, TM_NORMAL));
        transpose_matrix(m, t->key_matrix(key, TM_TRANSPOSE));
    }
    t->flags ^= inner->flags & TF_LEFTHANDED;
    if (!(inner->flags & TF_ROTATION)) t->flags &= ~TF_ROTATION;
    return TransformationRef(t);
}

Point Transformation::origin() const
{
    return Point(statics[TM_M][12], statics[TM_M][13], statics[TM_M][14]);
}

// Applies one of the matrices at time t to a 3-float value with fn.
static void convert(const Transformation *tr, int which, void (*fn)(const float *, const float *, float *),
                    const float *in, float *out, float t)
{
    float tmp[16];
    fn(in, tr->matrix_at(which, t, tmp), out);
}

void Transformation::point_to_world(const float *p, float *out, float t) const
{
    convert(this, TM_M, point_times_matrix, p, out, t);
}

void Transformation::point_from_world(const float *p, float *out, float t) const
{
    convert(this, TM_INVERSE, point_times_matrix, p, out, t);
}

void Transformation::vector_to_world(const float *v, float *out, float t) const
{
    convert(this, TM_M, vector_times_matrix, v, out, t);
}

void Transformation::vector_from_world(const float *v, float *out, float t) const
{
    convert(this, TM_INVERSE, vector_times_matrix, v, out, t);
}

void Transformation::normal_to_world(const float *n, float *out, float t) const
{
    convert(this, TM_NORMAL, vector_times_matrix, n, out, t);
}

void Transformation::normal_from_world(const float *n, float *out, float t) const
{
    convert(this, TM_TRANSPOSE, vector_times_matrix, n, out, t);
}

float Transformation::length_to_world(float len, float t) const
{
    float tmp[16];
    return len * row_scale(matrix_at(TM_M, t, tmp));
}

float Transformation::length_from_world(float len, float t) const
{
    float tmp[16];
    return len * row_scale(matrix_at(TM_INVERSE, t, tmp));
}

// out = a x b; out may be a or b.
static void product(const float *a, const float *b, float *out)
{
    float r[16];
    matrix_multiply(a, b, r);
    memcpy(out, r, sizeof r);
}

void Transformation::matrix_to_world(const float *a, float *out, float t) const
{
    float tmp[16];
    product(a, matrix_at(TM_M, t, tmp), out);
}

void Transformation::matrix_from_world(const float *a, float *out, float t) const
{
    float tmp[16];
    product(a, matrix_at(TM_INVERSE, t, tmp), out);
}

void Transformation::matrix_from_world_left(const float *a, float *out, float t) const
{
    float tmp[16];
    product(matrix_at(TM_INVERSE, t, tmp), a, out);
}

Bound Transformation::motion_bound_to_world(const Bound &b, float a, float b_time) const
{
    Bound r = EMPTY_BOUND;
    int steps = moving() ? 10 : 0;
    for (int j = 0; j <= steps; j++) {
        float t = a + j * (b_time - a) * 0.1f;
        for (int i = 0; i < 8; i++) {
            Point c = b.corner(i);
            point_to_world(c.data(), t);
            r.extend(c);
        }
    }
    r.expand(0.0005f * r.diagonal());
    return r;
}

void print_transformation_stats(FILE *out)
{
    const StatCounter &c = transformation_counter();
    long kb = (long)((extra_matrix_counter().peak * 64 + c.peak * 288) / 1024);
    fprintf(out, "    Transformations allocated: %ld requested, %ld outstanding, %ld peak (%ld kb)\n",
            (long)c.requested, (long)c.current, (long)c.peak, kb);
}

// ---- named coordinate systems --------------------------------------------

void CoordSysList::define(const char *name, const TransformationRef &t)
{
    RtToken key = NewToken(name);
    for (Entry *e = head; e; e = e->next) {
        if (e->name == key) {
            e->transformation = t;
            return;
        }
    }
    head = new Entry{key, t, head};
}

Transformation *CoordSysList::find(const char *name) const
{
    if (!name) return nullptr;
    for (Entry *e = head; e; e = e->next)
        if (strcmp(e->name, name) == 0) return e->transformation.get();
    return nullptr;
}

void CoordSysList::clear()
{
    while (head) {
        Entry *e = head;
        head = e->next;
        delete e;
    }
}

CoordSysList &coordinate_systems()
{
    static CoordSysList *list = new CoordSysList;   // lives until exit, never destroyed out of order
    return *list;
}
