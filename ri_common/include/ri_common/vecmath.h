// Small value types of the whole toolkit: 3-float points and colours, their
// double form, 4x4 matrices in RIB order (points are row vectors, P' = P x M)
// and axis-aligned boxes, with the plain-array matrix routines of the RI calls.
#pragma once
#include <cmath>
#include <istream>
#include <ostream>

#include "ri_common/ri.h"

// ---- raw 3-float helpers -------------------------------------------------

// Divides v by its length when that is at least 1e-12; returns the length.
float vnormalize(float *v);
// Bilinear blend of n floats of four corner arrays.
void bilerp_vertex_data(float *out, int n, const float *c0, const float *c1,
                        const float *c2, const float *c3, float u, float v);
// amin when a is not above amin (NaN too), amax when a >= amax, else a.
float clamp(float a, float amin, float amax);
// Degrees to radians.
inline float radians(float deg) { return deg * 0.017453292f; }

// ---- Point and Color -----------------------------------------------------

struct Point {
    float x, y, z;
    Point() : x(0), y(0), z(0) {}
    Point(float a, float b, float c) : x(a), y(b), z(c) {}
    explicit Point(float f) : x(f), y(f), z(f) {}
    // From a raw 3-float array.
    static Point from(const float *v) { return Point(v[0], v[1], v[2]); }
    float &operator[](int i) { return (&x)[i]; }
    float operator[](int i) const { return (&x)[i]; }
    float *data() { return &x; }
    const float *data() const { return &x; }
    // Normalizes in place (all zero below length 1e-12); returns the former length.
    float normalize()
    {
        float len = length();
        if (len < 1e-12f) {
            x = y = z = 0;
        } else {
            float inv = 1.0f / len;
            x *= inv; y *= inv; z *= inv;
        }
        return len;
    }
    float length() const { return std::sqrt(x * x + y * y + z * z); }
    Point &operator+=(const Point &b) { x += b.x; y += b.y; z += b.z; return *this; }
    Point &operator-=(const Point &b) { x -= b.x; y -= b.y; z -= b.z; return *this; }
    Point &operator*=(float s) { x *= s; y *= s; z *= s; return *this; }
};
using Color = Point;

inline Point operator+(Point a, const Point &b) { return a += b; }
inline Point operator-(Point a, const Point &b) { return a -= b; }
inline Point operator-(const Point &a) { return Point(-a.x, -a.y, -a.z); }
inline Point operator*(Point a, float s) { return a *= s; }
inline Point operator*(float s, Point a) { return a *= s; }
inline Point operator/(const Point &a, float s) { return Point(a.x / s, a.y / s, a.z / s); }
// Component by component (colour filtering).
inline Point operator*(const Point &a, const Point &b) { return Point(a.x * b.x, a.y * b.y, a.z * b.z); }
inline bool operator==(const Point &a, const Point &b) { return a.x == b.x && a.y == b.y && a.z == b.z; }
inline bool operator!=(const Point &a, const Point &b) { return !(a == b); }

inline float dot(const Point &a, const Point &b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Point cross(const Point &a, const Point &b);
// Unit vector, all zero below length 1e-12.
inline Point normalize(const Point &p)
{
    Point r = p;
    r.normalize();
    return r;
}
// Two directions orthogonal to p.
void gen_orthos(const Point &p, Point &a, Point &b);

std::ostream &operator<<(std::ostream &out, const Point &p);   // "[ x y z ]"
std::istream &operator>>(std::istream &in, Point &p);          // "[ x y z ]" or "x y z"

// ---- DPoint --------------------------------------------------------------

struct DPoint {
    double x, y, z;
    DPoint() : x(0), y(0), z(0) {}
    DPoint(double a, double b, double c) : x(a), y(b), z(c) {}
    explicit DPoint(double f) : x(f), y(f), z(f) {}
    double &operator[](int i) { return (&x)[i]; }
    double operator[](int i) const { return (&x)[i]; }
    double len() const { return std::sqrt(x * x + y * y + z * z); }
};
inline DPoint operator+(const DPoint &a, const DPoint &b) { return DPoint(a.x + b.x, a.y + b.y, a.z + b.z); }
inline DPoint operator-(const DPoint &a, const DPoint &b) { return DPoint(a.x - b.x, a.y - b.y, a.z - b.z); }
inline DPoint operator*(const DPoint &a, double s) { return DPoint(a.x * s, a.y * s, a.z * s); }
inline double dot(const DPoint &a, const DPoint &b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
DPoint cross(const DPoint &a, const DPoint &b);
DPoint normalize(const DPoint &p);
void gen_orthos(const DPoint &p, DPoint &a, DPoint &b);

std::ostream &operator<<(std::ostream &out, const DPoint &p);
std::istream &operator>>(std::istream &in, DPoint &p);

// ---- 3x3 matrices --------------------------------------------------------

struct Matrix3 { float m[9]; };     // row-major
struct DMatrix3 { double m[9]; };   // row-major

// ---- Matrix4 -------------------------------------------------------------

struct Matrix4 {
    float m[16];   // row-major: element i is row i / 4, column i % 4

    Matrix4() : m{} {}
    // f on the diagonal, 0 elsewhere (1 gives the identity).
    explicit Matrix4(float f);
    Matrix4(float a0, float a1, float a2, float a3, float a4, float a5, float a6, float a7,
            float a8, float a9, float a10, float a11, float a12, float a13, float a14, float a15);
    // Sixteen floats in row-major order (an RtMatrix).
    explicit Matrix4(const float *p);
    // The 3x3 in the upper left, last row and column (0, 0, 0, 1).
    explicit Matrix4(const Matrix3 &a);
    // The 3x3 with P in the last column (vectype non-zero) or the last row.
    Matrix4(const Matrix3 &a, const Point &p, int vectype);
    Matrix4(const DMatrix3 &a, const DPoint &p, int vectype);

    float &operator[](int i) { return m[i]; }
    float operator[](int i) const { return m[i]; }
    float &at(int r, int c) { return m[r * 4 + c]; }
    float at(int r, int c) const { return m[r * 4 + c]; }

    Matrix4 &operator+=(const Matrix4 &b);
    Matrix4 &operator-=(const Matrix4 &b);
    Matrix4 transpose() const;
    // Gauss-Jordan inverse; the determinant is stored through det when given
    // (0 for a singular matrix, whose inverse is then all zero).
    Matrix4 inverse(float *det = nullptr) const;
    // Copies the sixteen floats into a plain array.
    void dump(float *out) const;
};

// Rotation by angle radians about axis (normalized here); vectype non-zero
// gives the row-vector matrix, 0 its transpose.
Matrix4 RotateMatrix4(double angle, const Point &axis, int vectype);

Matrix4 operator+(const Matrix4 &a, const Matrix4 &b);
Matrix4 operator-(const Matrix4 &a, const Matrix4 &b);
Matrix4 operator-(const Matrix4 &a);
Matrix4 operator*(const Matrix4 &a, const Matrix4 &b);    // product a x b
Matrix4 operator*(const Matrix4 &a, float s);
Matrix4 operator*(float s, const Matrix4 &a);
inline Matrix4 transpose(const Matrix4 &a) { return a.transpose(); }
// Column form M x P (no divide).
Point operator*(const Matrix4 &m, const Point &p);
// Row form P x M (no divide).
Point operator*(const Point &p, const Matrix4 &m);

std::ostream &operator<<(std::ostream &out, const Matrix4 &m);

// ---- plain-array matrix routines (16 floats, row-major) ------------------

void identity_matrix(float *m);
void transpose_matrix(const float *in, float *out);
// out = inverse of in (all zero when singular); returns the determinant.
float invert_matrix(const float *in, float *out);
// out = a x b; out must not be a or b.
void matrix_multiply(const float *a, const float *b, float *out);
// m = m x n, or m = n x m with premultiply.
void concat_matrix(float *m, const float *n, int premultiply);
// Row-vector rotation by angle radians about the unit vector axis.
void axis_rotation_matrix(float *m, float angle, const float *axis);
// kind 1 translation by v, 2 rotation by the angles v (degrees) about x, y, z,
// 3 scale by v; any other kind the identity.
void simple_transform_matrix(float *m, const float *v, int kind);
// out = P x M with homogeneous divide; a null M copies P. Inline, as the
// two below: rays are taken into object space for every hit test.
inline void point_times_matrix(const float *p, const float *m, float *out)
{
    if (!m) {
        out[0] = p[0]; out[1] = p[1]; out[2] = p[2];
        return;
    }
    float x = p[0] * m[0] + p[1] * m[4] + p[2] * m[8] + m[12];
    float y = p[0] * m[1] + p[1] * m[5] + p[2] * m[9] + m[13];
    float z = p[0] * m[2] + p[1] * m[6] + p[2] * m[10] + m[14];
    float w = p[0] * m[3] + p[1] * m[7] + p[2] * m[11] + m[15];
    if (w != 1.0f && w != 0.0f) {
        float inv = 1.0f / w;
        x *= inv; y *= inv; z *= inv;
    }
    out[0] = x; out[1] = y; out[2] = z;
}
inline void point_times_matrix_in_place(float *p, const float *m)
{
    if (m) point_times_matrix(p, m, p);
}
// out = V x (upper 3x3 of M); a null M copies V.
inline void vector_times_matrix(const float *v, const float *m, float *out)
{
    if (!m) {
        out[0] = v[0]; out[1] = v[1]; out[2] = v[2];
        return;
    }
    float x = v[0] * m[0] + v[1] * m[4] + v[2] * m[8];
    float y = v[0] * m[1] + v[1] * m[5] + v[2] * m[9];
    float z = v[0] * m[2] + v[1] * m[6] + v[2] * m[10];
    out[0] = x; out[1] = y; out[2] = z;
}

// ---- Bound ---------------------------------------------------------------

struct Bound {
    float b[6];   // xmin, xmax, ymin, ymax, zmin, zmax

    constexpr Bound() : b{} {}
    Bound(const Point &p, const Point &q);
    constexpr Bound(float x0, float x1, float y0, float y1, float z0, float z1) : b{x0, x1, y0, y1, z0, z1} {}
    explicit Bound(const Point &p) : b{p.x, p.x, p.y, p.y, p.z, p.z} {}

    float &operator[](int i) { return b[i]; }
    float operator[](int i) const { return b[i]; }
    // Every minimum -= m, every maximum += m.
    void expand(float m);
    // Corner i: x max for bit 0, y max for bit 1, z max for bit 2.
    Point corner(int i) const;
    void corners(Point out[8]) const;
    float diagonal() const;
    void merge(const Bound &o);
    void extend(const Point &p);
    void extend(const float *p);
};

// The start of every accumulation, and the box of everything.
inline constexpr Bound EMPTY_BOUND(1e10f, -1e10f, 1e10f, -1e10f, 1e10f, -1e10f);
inline constexpr Bound INFINITE_BOUND(-1e10f, 1e10f, -1e10f, 1e10f, -1e10f, 1e10f);

Bound operator+(const Bound &b, const Point &p);           // b extended by p
Bound operator*(const Matrix4 &m, const Bound &b);          // corners by M x P
Bound operator*(const Bound &b, const Matrix4 &m);          // corners by P x M
std::ostream &operator<<(std::ostream &out, const Bound &b);
