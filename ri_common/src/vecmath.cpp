#include "ri_common/vecmath.h"

#include <cstring>
#include <utility>

// ---- raw 3-float helpers -------------------------------------------------

float vnormalize(float *v)
{
    float len = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (len >= 1e-12f) {
        float inv = 1.0f / len;
        v[0] *= inv; v[1] *= inv; v[2] *= inv;
    }
    return len;
}

void bilerp_vertex_data(float *out, int n, const float *c0, const float *c1,
                        const float *c2, const float *c3, float u, float v)
{
    float w0 = (1 - u) * (1 - v), w1 = u * (1 - v), w2 = (1 - u) * v, w3 = u * v;
    for (int i = 0; i < n; i++) out[i] = w0 * c0[i] + w1 * c1[i] + w2 * c2[i] + w3 * c3[i];
}

float clamp(float a, float amin, float amax)
{
    if (!(a > amin)) return amin;
    if (a >= amax) return amax;
    return a;
}

// ---- Point ---------------------------------------------------------------

Point cross(const Point &a, const Point &b)
{
    return Point(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}

void gen_orthos(const Point &p, Point &a, Point &b)
{
    a = normalize(Point(p.z - p.y, p.x - p.z, p.y - p.x));
    b = cross(p, a);
}

template <class P>
static std::ostream &print3(std::ostream &out, const P &p)
{
    return out << "[ " << p.x << ' ' << p.y << ' ' << p.z << " ]";
}

// Three numbers, bracketed or bare; a missing "]" after "[" fails the stream.
template <class P>
static std::istream &read3(std::istream &in, P &p)
{
    in >> std::ws;
    bool bracket = in.peek() == '[';
    if (bracket) in.get();
    in >> p.x >> p.y >> p.z;
    if (bracket && in) {
        in >> std::ws;
        if (in.peek() == ']') in.get();
        else in.setstate(std::ios::failbit);
    }
    return in;
}

std::ostream &operator<<(std::ostream &out, const Point &p) { return print3(out, p); }
std::istream &operator>>(std::istream &in, Point &p) { return read3(in, p); }

// ---- DPoint --------------------------------------------------------------

DPoint cross(const DPoint &a, const DPoint &b)
{
    return DPoint(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}

DPoint normalize(const DPoint &p)
{
    double len = p.len();
    if (len < 1e-12) return DPoint(0.0);
    return p * (1.0 / len);
}

void gen_orthos(const DPoint &p, DPoint &a, DPoint &b)
{
    a = normalize(DPoint(p.z - p.y, p.x - p.z, p.y - p.x));
    b = cross(p, a);
}

std::ostream &operator<<(std::ostream &out, const DPoint &p) { return print3(out, p); }
std::istream &operator>>(std::istream &in, DPoint &p) { return read3(in, p); }

// ---- Matrix4 -------------------------------------------------------------

Matrix4::Matrix4(float f) : m{}
{
    m[0] = m[5] = m[10] = m[15] = f;
}

Matrix4::Matrix4(float a0, float a1, float a2, float a3, float a4, float a5, float a6, float a7,
                 float a8, float a9, float a10, float a11, float a12, float a13, float a14, float a15)
    : m{a0, a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15}
{
}

Matrix4::Matrix4(const float *p)
{
    memcpy(m, p, sizeof m);
}

Matrix4::Matrix4(const Matrix3 &a) : m{}
{
    for (int r = 0; r < 3; r++)
        for (int c = 0; c < 3; c++) m[r * 4 + c] = a.m[r * 3 + c];
    m[15] = 1;
}

template <class M3, class P>
static void place(float *m, const M3 &a, const P &p, int vectype)
{
    for (int i = 0; i < 16; i++) m[i] = 0;
    for (int r = 0; r < 3; r++)
        for (int c = 0; c < 3; c++) m[r * 4 + c] = (float)a.m[r * 3 + c];
    if (vectype) {
        m[3] = (float)p.x; m[7] = (float)p.y; m[11] = (float)p.z;
    } else {
        m[12] = (float)p.x; m[13] = (float)p.y; m[14] = (float)p.z;
    }
    m[15] = 1;
}

Matrix4::Matrix4(const Matrix3 &a, const Point &p, int vectype) { place(m, a, p, vectype); }
Matrix4::Matrix4(const DMatrix3 &a, const DPoint &p, int vectype) { place(m, a, p, vectype); }

Matrix4 &Matrix4::operator+=(const Matrix4 &b)
{
    for (int i = 0; i < 16; i++) m[i] += b.m[i];
    return *this;
}

Matrix4 &Matrix4::operator-=(const Matrix4 &b)
{
    for (int i = 0; i < 16; i++) m[i] -= b.m[i];
    return *this;
}

Matrix4 Matrix4::transpose() const
{
    Matrix4 t;
    transpose_matrix(m, t.m);
    return t;
}

Matrix4 Matrix4::inverse(float *det) const
{
    Matrix4 r;
    float d = invert_matrix(m, r.m);
    if (det) *det = d;
    return r;
}

void Matrix4::dump(float *out) const
{
    memcpy(out, m, sizeof m);
}

Matrix4 RotateMatrix4(double angle, const Point &axis, int vectype)
{
    Point a = normalize(axis);
    angle = angle - std::floor(angle * 0.1591549430918955) * 6.28318530717958;
    double c = std::cos(angle), s = std::sin(angle), t = 1 - c;
    double x = a.x, y = a.y, z = a.z;
    Matrix4 r(1.0f);
    r.m[0] = (float)(x * x + c * (1 - x * x));
    r.m[1] = (float)(x * y * t + z * s);
    r.m[2] = (float)(x * z * t - y * s);
    r.m[4] = (float)(x * y * t - z * s);
    r.m[5] = (float)(y * y + c * (1 - y * y));
    r.m[6] = (float)(y * z * t + x * s);
    r.m[8] = (float)(x * z * t + y * s);
    r.m[9] = (float)(y * z * t - x * s);
    r.m[10] = (float)(z * z + c * (1 - z * z));
    return vectype ? r : r.transpose();
}

Matrix4 operator+(const Matrix4 &a, const Matrix4 &b) { Matrix4 r = a; return r += b; }
Matrix4 operator-(const Matrix4 &a, const Matrix4 &b) { Matrix4 r = a; return r -= b; }

Matrix4 operator-(const Matrix4 &a)
{
    Matrix4 r;
    for (int i = 0; i < 16; i++) r.m[i] = -a.m[i];
    return r;
}

Matrix4 operator*(const Matrix4 &a, const Matrix4 &b)
{
    Matrix4 r;
    matrix_multiply(a.m, b.m, r.m);
    return r;
}

Matrix4 operator*(const Matrix4 &a, float s)
{
    Matrix4 r;
    for (int i = 0; i < 16; i++) r.m[i] = a.m[i] * s;
    return r;
}

Matrix4 operator*(float s, const Matrix4 &a) { return a * s; }

Point operator*(const Matrix4 &M, const Point &p)
{
    const float *m = M.m;
    return Point(p.x * m[0] + p.y * m[1] + p.z * m[2] + m[3],
                 p.x * m[4] + p.y * m[5] + p.z * m[6] + m[7],
                 p.x * m[8] + p.y * m[9] + p.z * m[10] + m[11]);
}

Point operator*(const Point &p, const Matrix4 &M)
{
    const float *m = M.m;
    return Point(p.x * m[0] + p.y * m[4] + p.z * m[8] + m[12],
                 p.x * m[1] + p.y * m[5] + p.z * m[9] + m[13],
                 p.x * m[2] + p.y * m[6] + p.z * m[10] + m[14]);
}

std::ostream &operator<<(std::ostream &out, const Matrix4 &m)
{
    out << "[ ";
    for (int i = 0; i < 16; i++) out << m.m[i] << (i < 15 ? " " : "");
    return out << " ]";
}

// ---- plain-array matrix routines -----------------------------------------

void identity_matrix(float *m)
{
    for (int i = 0; i < 16; i++) m[i] = (i % 5 == 0) ? 1.0f : 0.0f;
}

void transpose_matrix(const float *in, float *out)
{
    float t[16];
    for (int r = 0; r < 4; r++)
        for (int c = 0; c < 4; c++) t[c * 4 + r] = in[r * 4 + c];
    memcpy(out, t, sizeof t);
}

// Gauss-Jordan elimination with full pivoting. A singular matrix (no non-zero
// pivot left) gives determinant 0 and an all-zero result, never a division by 0.
float invert_matrix(const float *in, float *out)
{
    float a[4][4];
    memcpy(a, in, sizeof a);
    float det = 1;
    bool used[4] = {false, false, false, false};
    int prow[4], pcol[4];
    for (int pass = 0; pass < 4; pass++) {
        float big = 0;
        int r = -1, c = -1;
        for (int i = 0; i < 4; i++) {
            if (used[i]) continue;
            for (int j = 0; j < 4; j++) {
                if (used[j]) continue;
                float v = std::fabs(a[i][j]);
                if (v > big) { big = v; r = i; c = j; }
            }
        }
        if (r < 0) {
            for (int i = 0; i < 16; i++) out[i] = 0;
            return 0;
        }
        used[c] = true;
        if (r != c) {
            det = -det;
            for (int k = 0; k < 4; k++) std::swap(a[r][k], a[c][k]);
        }
        prow[pass] = r;
        pcol[pass] = c;
        float p = a[c][c];
        det *= p;
        a[c][c] = 1;
        float inv = 1.0f / p;
        for (int k = 0; k < 4; k++) a[c][k] *= inv;
        for (int k = 0; k < 4; k++) {
            if (k == c) continue;
            float f = a[k][c];
            a[k][c] = 0;
            for (int l = 0; l < 4; l++) a[k][l] -= f * a[c][l];
        }
    }
    for (int pass = 3; pass >= 0; pass--) {
        if (prow[pass] == pcol[pass]) continue;
        for (int k = 0; k < 4; k++) std::swap(a[k][prow[pass]], a[k][pcol[pass]]);
    }
    memcpy(out, a, sizeof a);
    return det;
}

void matrix_multiply(const float *a, const float *b, float *out)
{
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 4; j++) {
            float s = 0;
            for (int k = 0; k < 4; k++) s += a[i * 4 + k] * b[k * 4 + j];
            out[i * 4 + j] = s;
        }
}

void concat_matrix(float *m, const float *n, int premultiply)
{
    float t[16];
    if (premultiply) matrix_multiply(n, m, t);
    else matrix_multiply(m, n, t);
    memcpy(m, t, sizeof t);
}

void axis_rotation_matrix(float *m, float angle, const float *axis)
{
    angle = angle - std::floor(angle * 0.15915494f) * 6.2831855f;
    float c = std::cos(angle), s = std::sin(angle), t = 1 - c;
    float x = axis[0], y = axis[1], z = axis[2];
    identity_matrix(m);
    m[0] = x * x + c * (1 - x * x);
    m[1] = x * y * t + z * s;
    m[2] = x * z * t - y * s;
    m[4] = x * y * t - z * s;
    m[5] = y * y + c * (1 - y * y);
    m[6] = y * z * t + x * s;
    m[8] = x * z * t + y * s;
    m[9] = y * z * t - x * s;
    m[10] = z * z + c * (1 - z * z);
}

void simple_transform_matrix(float *m, const float *v, int kind)
{
    identity_matrix(m);
    switch (kind) {
    case 1:
        m[12] = v[0]; m[13] = v[1]; m[14] = v[2];
        break;
    case 2: {
        const double k = 0.017453292519943295;
        double cx = std::cos(v[0] * k), sx = std::sin(v[0] * k);
        double cy = std::cos(v[1] * k), sy = std::sin(v[1] * k);
        double cz = std::cos(v[2] * k), sz = std::sin(v[2] * k);
        m[0] = (float)(cy * cz); m[1] = (float)-(cy * sz); m[2] = (float)sy;
        m[4] = (float)(cx * sz + sx * sy * cz); m[5] = (float)(cx * cz - sx * sy * sz);
        m[6] = (float)-(cy * sx);
        m[8] = (float)(sx * sz - cx * sy * cz); m[9] = (float)(cx * sy * sz + sx * cz);
        m[10] = (float)(cy * cx);
        break;
    }
    case 3:
        m[0] = v[0]; m[5] = v[1]; m[10] = v[2];
        break;
    default:
        break;
    }
}

// A w of 0 (a point at infinity) is left undivided rather than turned into inf/NaN.
// ---- Bound ---------------------------------------------------------------

Bound::Bound(const Point &p, const Point &q)
    : b{std::fmin(p.x, q.x), std::fmax(p.x, q.x), std::fmin(p.y, q.y), std::fmax(p.y, q.y),
        std::fmin(p.z, q.z), std::fmax(p.z, q.z)}
{
}


void Bound::expand(float m)
{
    b[0] -= m; b[1] += m; b[2] -= m; b[3] += m; b[4] -= m; b[5] += m;
}

Point Bound::corner(int i) const
{
    return Point(b[(i & 1) ? 1 : 0], b[(i & 2) ? 3 : 2], b[(i & 4) ? 5 : 4]);
}

void Bound::corners(Point out[8]) const
{
    for (int i = 0; i < 8; i++) out[i] = corner(i);
}

float Bound::diagonal() const
{
    float dx = b[1] - b[0], dy = b[3] - b[2], dz = b[5] - b[4];
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

void Bound::merge(const Bound &o)
{
    for (int a = 0; a < 6; a += 2) {
        if (o.b[a] < b[a]) b[a] = o.b[a];
        if (o.b[a + 1] > b[a + 1]) b[a + 1] = o.b[a + 1];
    }
}

void Bound::extend(const float *p)
{
    for (int a = 0; a < 3; a++) {
        if (p[a] < b[2 * a]) b[2 * a] = p[a];
        if (p[a] > b[2 * a + 1]) b[2 * a + 1] = p[a];
    }
}

void Bound::extend(const Point &p) { extend(p.data()); }

Bound operator+(const Bound &b, const Point &p)
{
    Bound r = b;
    r.extend(p);
    return r;
}

Bound operator*(const Matrix4 &m, const Bound &b)
{
    Bound r(m * b.corner(0));
    for (int i = 1; i < 8; i++) r.extend(m * b.corner(i));
    return r;
}

Bound operator*(const Bound &b, const Matrix4 &m)
{
    Bound r(b.corner(0) * m);
    for (int i = 1; i < 8; i++) r.extend(b.corner(i) * m);
    return r;
}

std::ostream &operator<<(std::ostream &out, const Bound &b)
{
    out << "[ ";
    for (int i = 0; i < 6; i++) out << b.b[i] << (i < 5 ? " " : "");
    return out << " ]";
}
