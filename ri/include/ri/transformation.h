// The current transformation: a reference-counted, pooled record with the
// local-to-world matrix, its inverse, the normal matrix and the transpose, and
// an optional second motion key; conversions between local and world space at
// a shutter time; named coordinate systems.
#pragma once
#include <cstdint>
#include <cstdio>

#include "ri/counters.h"
#include "ri/gstate.h"
#include "ri/refcount.h"
#include "ri_common/vecmath.h"

// Bits of Transformation::flags.
enum TransformationFlag : uint32_t {
    TF_MOVING = 0x1,       // a second key exists
    TF_LEFTHANDED = 0x2,   // parity: toggled by every concatenation with a negative determinant
    TF_ROTATION = 0x4,     // cleared by every concatenation except a rotation
};

// The four matrices of a key, in the order they are kept.
enum { TM_M = 0, TM_INVERSE = 1, TM_NORMAL = 2, TM_TRANSPOSE = 3 };

class Transformation : public RefCounted {
public:
    // Identity in all four matrices, no second key, times 0.
    Transformation();
    Transformation(const Transformation &o);
    Transformation &operator=(const Transformation &o);
    ~Transformation() override { free_motion(); }

    // Pooled allocation (blocks of 14 records).
    static void *operator new(size_t size);
    static void operator delete(void *p);

    // Gives the record a second key copied from the first, and marks it moving.
    void start_motion();
    // Drops the second key.
    void free_motion();
    bool moving() const { return (flags & TF_MOVING) != 0; }

    // One of the four matrices (TM_*) of key 0 or 1; key 1 only when moving.
    float *key_matrix(int key, int which) { return key == 0 ? statics[which] : second + 16 * which; }
    const float *key_matrix(int key, int which) const { return key == 0 ? statics[which] : second + 16 * which; }
    // The matrix which (TM_*) at time t: a key, or both keys interpolated into tmp.
    const float *matrix_at(int which, float t, float tmp[16]) const;

    // Where the local origin lies in world space (first key).
    Point origin() const;
    void point_to_world(const float *p, float *out, float t = 0) const;
    void point_to_world(float *p, float t = 0) const { point_to_world(p, p, t); }
    void point_from_world(const float *p, float *out, float t = 0) const;
    void vector_to_world(const float *v, float *out, float t = 0) const;
    void vector_from_world(const float *v, float *out, float t = 0) const;
    void normal_to_world(const float *n, float *out, float t = 0) const;
    void normal_from_world(const float *n, float *out, float t = 0) const;
    float length_to_world(float len, float t = 0) const;
    float length_from_world(float len, float t = 0) const;
    // out = A x M(t), A x M inverse(t), M inverse(t) x A.
    void matrix_to_world(const float *a, float *out, float t = 0) const;
    void matrix_from_world(const float *a, float *out, float t = 0) const;
    void matrix_from_world_left(const float *a, float *out, float t = 0) const;
    // Applies b after the record in every key: M becomes M x b.
    void follow_with(const float *b);
    // The box of the converted corners, grown by 0.01 of its diagonal.
    Bound bound_to_world(const Bound &b, float t = 0) const;
    // The corners at a and, for a moving record, at ten more times up to b;
    // grown by 0.0005 of the diagonal.
    Bound motion_bound_to_world(const Bound &b, float a, float b_time) const;

    float statics[4][16];   // M, M inverse, N (M inverse transposed), M transposed
    float *second;          // the second key's four matrices, or null
    float t0, t1;
    uint32_t flags;
};

// inner's space placed inside outer's (M = inner x outer, key by key); outer
// itself when inner is a static identity.
TransformationRef nest_transformation(const Transformation *inner, const TransformationRef &outer);

// Records taken from the pool.
StatCounter &transformation_counter();
// Extra 16-float matrices: second keys (4 each) and the renderer's matrix store.
StatCounter &extra_matrix_counter();
// "    Transformations allocated: ..." line.
void print_transformation_stats(FILE *out);

// Named coordinate systems, newest first; they live until the program ends.
class CoordSysList {
public:
    ~CoordSysList() { clear(); }
    // Gives name the transformation, replacing an earlier one of the same name.
    void define(const char *name, const TransformationRef &t);
    // The transformation of name, or null.
    Transformation *find(const char *name) const;
    void clear();

private:
    struct Entry {
        const char *name;
        TransformationRef transformation;
        Entry *next;
    };
    Entry *head = nullptr;
};

// The one list of the program.
CoordSysList &coordinate_systems();
