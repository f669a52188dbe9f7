#include "preview/gldraw.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

#include "sampling/random.h"

namespace {

bool inside_out(const GlRenderer &r)
{
    return (r.attributes->orientation & 1) != 0;
}

void count_polygons(GlRenderer &r, int64_t n)
{
    r.total_polygons += n;
    r.frame_polygons += n;
}

// True for indices that address vertices (negative ones do not).
bool indices_valid(const int *verts, int n)
{
    for (int k = 0; k < n; k++)
        if (verts[k] < 0) return false;
    return true;
}

// ---- outlines --------------------------------------------------------------

// The eye and the view direction in the primitive's space.
struct OutlineView {
    Point eye;
    Point view;      // unit
    float scale;     // 1 / length of the converted view direction
    bool parallel;   // orthographic: the eye lies the same way from every point
};

OutlineView outline_view(const GlRenderer &r)
{
    OutlineView v;
    float t = r.options.shutter_open;
    r.transformation->point_from_world(r.options.eye.data(), v.eye.data(), t);
    r.transformation->vector_from_world(r.options.view_dir.data(), v.view.data(), t);
    float length = v.view.length();
    v.scale = length > 0 ? 1 / length : 1;
    v.view.normalize();
    v.parallel = r.options.projection == PROJ_ORTHOGRAPHIC;
    return v;
}

// One jittered outline edge. The ends come a little towards the eye, so
// that the line lies over the fill it outlines.
void outline_edge(const OutlineView &v, const Point &a, const Point &b)
{
    float amount = std::min(0.01f * v.scale * (v.eye - a).length(), 0.25f * (b - a).length());
    for (const Point *end : {&a, &b}) {
        Point jitter(0.5f - random_uniform(), 0.5f - random_uniform(), 0.5f - random_uniform());
        Point p = *end + amount * (v.view * -0.75f + jitter);
        glVertex3fv(p.data());
    }
}

void begin_outlines()
{
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    glBegin(GL_LINES);
}

void end_outlines()
{
    glEnd();
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
}

// Whether quad (i, j) of the grid turns its front to the eye.
bool quad_faces_eye(const GlRenderer &r, const OutlineView &v, int i, int j)
{
    const Point &a = r.grid[i][j], &b = r.grid[i][j + 1], &c = r.grid[i + 1][j + 1], &d = r.grid[i + 1][j];
    // Across the diagonals, so that a quad with a collapsed edge (at a
    // pole) still has its normal.
    Point n = cross(c - a, d - b);
    if (v.parallel) return dot(n, v.view) < 0;
    Point centre = (a + b + c + d) * 0.25f;
    return dot(n, v.eye - centre) > 0;
}

// The border of the grid, and the inner edges between quads that turn
// opposite ways to the eye.
void draw_grid_hidden_line(GlRenderer &r, int nu, int nv)
{
    OutlineView v = outline_view(r);
    begin_outlines();
    for (int i = 0; i <= nv; i++) {
        for (int j = 0; j < nu; j++) {
            bool border = i == 0 || i == nv;
            if (border || quad_faces_eye(r, v, i - 1, j) != quad_faces_eye(r, v, i, j))
                outline_edge(v, r.grid[i][j], r.grid[i][j + 1]);
        }
    }
    for (int j = 0; j <= nu; j++) {
        for (int i = 0; i < nv; i++) {
            bool border = j == 0 || j == nu;
            if (border || quad_faces_eye(r, v, i, j - 1) != quad_faces_eye(r, v, i, j))
                outline_edge(v, r.grid[i][j], r.grid[i + 1][j]);
        }
    }
    end_outlines();
}

// The outline of every polygon that is alone in its call or seen nearly edge on.
void draw_polygon_hidden_line(GlRenderer &r, int npolys, const int *nverts, const int *verts, const float *P)
{
    OutlineView v = outline_view(r);
    begin_outlines();
    int base = 0;
    for (int p = 0; p < npolys; base += std::max(nverts[p], 0), p++) {
        int n = nverts[p];
        const int *idx = verts + base;
        if (n < 2 || !indices_valid(idx, n)) continue;
        if (npolys > 1) {
            if (n < 3) continue;
            Point normal = normalize(polygon_face_normal(P, idx, n, false));
            if (std::fabs(dot(normal, v.view)) > 0.35f) continue;
        }
        for (int k = 0; k < n; k++)
            outline_edge(v, Point::from(P + 3 * idx[k]), Point::from(P + 3 * idx[(k + 1) % n]));
    }
    end_outlines();
}

// The fill in the background colour that hides what lies behind, before
// the outlines; then the outline colour.
Color begin_sketch(GlRenderer &r)
{
    glDepthFunc(GL_LEQUAL);
    glDisable(GL_LIGHTING);
    r.apply_color(r.clear_color);
    return sketch_line_color(r.attributes->color, r.clear_color);
}

void end_sketch(GlRenderer &r)
{
    glDepthFunc(GL_LESS);
    r.apply_color(r.attributes->color.data());
}

} // namespace

Point polygon_face_normal(const float *P, const int *idx, int n, bool inside)
{
    Point normal(0, 0, 0);
    for (int k = 0; k < n; k++) {
        const float *a = P + 3 * idx[k], *b = P + 3 * idx[(k + 1) % n];
        normal.x += (a[1] - b[1]) * (a[2] + b[2]);
        normal.y += (a[2] - b[2]) * (a[0] + b[0]);
        normal.z += (a[0] - b[0]) * (a[1] + b[1]);
    }
    return inside ? -normal : normal;
}

Color sketch_line_color(const Color &color, const float background[3])
{
    Color c = color;
    for (int i = 0; i < 3; i++)
        if (std::fabs(c[i] - background[i]) < 0.2f) c[i] = 1 - c[i];
    return c;
}

void compute_grid_normals(GlRenderer &r, int nu, int nv, bool inside)
{
    for (int i = 0; i <= nv; i++) {
        for (int j = 0; j <= nu; j++) {
            Point du = j < nu ? r.grid[i][j + 1] - r.grid[i][j] : r.grid[i][nu] - r.grid[i][nu - 1];
            Point dv = i < nv ? r.grid[i + 1][j] - r.grid[i][j] : r.grid[nv][j] - r.grid[nv - 1][j];
            Point n = cross(du, dv);
            r.normals[i][j] = inside ? -n : n;
        }
    }
}

void draw_grid_plain(GlRenderer &r, int nu, int nv, bool flip, bool compute_normals)
{
    bool inside = inside_out(r);
    if (compute_normals) {
        compute_grid_normals(r, nu, nv, inside);
    } else if (flip != inside) {
        for (int i = 0; i <= nv; i++)
            for (int j = 0; j <= nu; j++) r.normals[i][j] = -r.normals[i][j];
    }
    glEnable(GL_NORMALIZE);
    r.set_front_face();
    for (int i = 0; i < nv; i++) {
        glBegin(GL_QUAD_STRIP);
        for (int j = 0; j <= nu; j++) {
            glNormal3fv(r.normals[i][j].data());
            glVertex3fv(r.grid[i][j].data());
            glNormal3fv(r.normals[i + 1][j].data());
            glVertex3fv(r.grid[i + 1][j].data());
        }
        glEnd();
    }
    count_polygons(r, int64_t(nu) * nv);
}

void draw_polygons_plain(GlRenderer &r, int npolys, const int *nverts, const int *verts, const float *P,
                         const float *N, const float *Cs)
{
    bool inside = inside_out(r);
    // Vertex colours must not outlast the call; restored by GL, so that an
    // object's list gives back the colour of the instance that replays it.
    if (Cs) glPushAttrib(GL_CURRENT_BIT | GL_LIGHTING_BIT);
    glEnable(GL_NORMALIZE);
    r.set_front_face();
    glShadeModel(N ? GL_SMOOTH : GL_FLAT);
    int base = 0;
    for (int p = 0; p < npolys; base += std::max(nverts[p], 0), p++) {
        int n = nverts[p];
        const int *idx = verts + base;
        if (n < 1 || !indices_valid(idx, n)) continue;
        if (!N && n >= 3) {
            Point normal = polygon_face_normal(P, idx, n, inside);
            glNormal3fv(normal.data());
        }
        glBegin(GL_POLYGON);
        for (int k = n - 1; k >= 0; k--) {
            int v = idx[k];
            if (N) glNormal3fv(N + 3 * v);
            if (Cs) glColor3fv(Cs + 3 * v);
            glVertex3fv(P + 3 * v);
        }
        glEnd();
        count_polygons(r, 1);
    }
    glShadeModel(GL_SMOOTH);
    if (Cs) glPopAttrib();
}

void draw_grid_sketch(GlRenderer &r, int nu, int nv, bool flip, bool)
{
    Color line = begin_sketch(r);
    draw_grid_plain(r, nu, nv, flip, true);
    glEnable(GL_LIGHTING);
    r.apply_color(line.data());
    draw_grid_hidden_line(r, nu, nv);
    end_sketch(r);
}

void draw_polygons_sketch(GlRenderer &r, int npolys, const int *nverts, const int *verts, const float *P,
                          const float *, const float *)
{
    Color line = begin_sketch(r);
    draw_polygons_plain(r, npolys, nverts, verts, P, nullptr, nullptr);
    glEnable(GL_LIGHTING);
    r.apply_color(line.data());
    draw_polygon_hidden_line(r, npolys, nverts, verts, P);
    end_sketch(r);
}
