// Dicing: surfaces that are not intersected analytically (bicubic and NURBS
// patches, displaced quadrics, polygons and bilinear patches) are cut on the
// first ray that needs them into a regular grid of micro-quads with a small
// bounding tree over the cells, and rays are traced against that tree. Grids
// are reclaimed least recently used when their memory passes "limits"
// "geommemory"; the shading serial number is their last-use stamp.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "raytrace/gprim.h"
#include "raytrace/ray.h"
#include "raytrace/surface_hooks.h"

// One cell of a grid: the four corners (j,i), (j+1,i), (j,i+1), (j+1,i+1).
// A plain record: its box lives in a lane of the grid's tree, and the grid
// intersects it. Shading holds a cell as a SceneCell handle.
class Glitequad : public SceneCell {
public:
    // The box of the corners grown on every side by 0.01 of its diagonal; a
    // moving cell's (second: how far the close set lies) takes in both sets.
    void bound(Bound &b, size_t second = 0) const;
    // Bilinear blend of the corners at (u, v).
    Point interpolate(float u, float v) const;

    // Corners (j,i+1), (j+1,i+1): the next row of vertices.
    const Point *upper() const { return lower + row_stride; }

    const Point *lower = nullptr;   // corners (j,i), (j+1,i)
    int16_t col = 0, row = 0;
    uint16_t row_stride = 0;        // vertices in a row (nu + 1)
    uint8_t border = 0;   // its sides on the grid's border (SIDE_ bits), met loosely
};

// The cell behind a shading point's handle.
inline const Glitequad *grid_cell(const SceneCell *c) { return static_cast<const Glitequad *>(c); }

// A node of a grid's tree: up to four children (a node's index, ~cell, or
// GRID_NO_CHILD) whose boxes sit side by side, lane i for child i.
struct GridNode {
    alignas(16) float lo[3][4];
    alignas(16) float hi[3][4];
    int32_t child[4];
};
const int32_t GRID_NO_CHILD = INT32_MIN;

// The micro-quad grid of one surface, owned by it through its grid pointer.
class DicedGrid {
public:
    // A grid built at once over the arrays (see build).
    DicedGrid(GSurface *surface, int nu, int nv, std::vector<Point> vertices, std::vector<Point> normals);
    ~DicedGrid() { release(); }
    DicedGrid(const DicedGrid &) = delete;
    DicedGrid &operator=(const DicedGrid &) = delete;

    // Takes the vertex rows ((nu+1) x (nv+1), a second set for a moving
    // surface after the first) and the displaced normals (or none); makes the
    // cells and their tree; the surface's object bound becomes the grid's.
    void build(GSurface *surface, int nu, int nv, std::vector<Point> vertices, std::vector<Point> normals);
    // Frees the cells, the tree and the arrays; the record stays, not built.
    void release();
    bool built() const { return state == 1; }
    int cell_count() const { return nu * nv; }
    // Cell k of the row-order list.
    Glitequad *cell(int k) const { return &cells_[k]; }
    // Bytes charged to grid memory while built.
    int64_t memory() const;
    // Every hit of the ray (in the grid's space) within its range, nearest
    // first, each naming the surface as object and the cell as piece with
    // the cell's own (u, v) in gu, gv.
    IntersectionList hits(GSurface *surface, const Ray &ray) const;

    // The tree, root first; a grid of at most 4 cells has only the root,
    // whose lanes are tested one by one.
    std::vector<GridNode> nodes;
    Bound bound;                       // the box of every cell
    std::vector<Point> vertices;       // vertex (j,i) at j + (nu+1) i; a moving surface's close set follows
    std::vector<Point> normals;        // displaced normals, or empty
    int16_t nu = 0, nv = 0;
    uint8_t moving = 0;
    uint8_t state = 0;                 // 0 not built, 1 built
    uint32_t last_use = 0;             // shading serial number of the last build or trace

private:
    std::unique_ptr<Glitequad[]> cells_;
};

// The hits of a surface through its grid, dicing it first (probe lattice of
// lattice segments, at least 6) when needed: each names the surface as object
// and the cell as piece, (gu, gv) over the grid. intersect_grid(surface, ray)
// dices with the smallest lattice.
IntersectionList intersect_grid(GSurface *surface, const Ray &ray, int lattice);
// The tree over the cells of columns [c0, c1) and rows [r0, r1), appended
// to the grid's nodes: one cell alone (~cell), else a node (its index) of
// quadrants, halves or the cells themselves; b takes its box.
int32_t build_cell_tree(DicedGrid &grid, int c0, int c1, int r0, int r1, Bound &b);
// The dicing rate of one lattice row or column of a surface.
int edge_dice_rate(const GSurface *surface, float measure, float raster_length, int n, bool binary);
// Frees grids of the list's surfaces until grid memory is under the limit
// (only one without repeat).
void reclaim_grid_memory(GPrimitive *list, int repeat);
// The grid normal of a displaced surface at (gu, gv) over its grid, in
// object space; false when the surface has no built grid with normals.
bool grid_normal_at(const GSurface *surface, float gu, float gv, Point &N);

// The start of the shadow rays traced next: a hit on a surface, or null.
void set_shadow_origin(const ShadingPoint *hit);
// Whether shadow hit h, of a ray along dir (world space), leaves a cell of an
// undisplaced grid from behind within a few cells of a start on such a grid:
// the flat cells of a curved surface pass just above points near its
// terminator, and the ray meets them on its way out, not at an occluder.
bool shadow_self_hit(const Intersection *h, const Point &dir);
// Runs the displacement shader over the vertex sets of a grid (first set at
// shutter open, a second at shutter close) and fills the normals.
void displace_grid(GSurface *surface, int nu, int nv, std::vector<Point> &vertices, std::vector<Point> &normals,
                   bool moving);
// The surface parameters of grid parameters (gu, gv) and the span of u and v
// that the grid's 0..1 covers (a mesh piece's share, a NURBS knot range).
void grid_to_surface_params(const GSurface *surface, float gu, float gv, float &u, float &v, float &uspan,
                            float &vspan);

// Smallest power of two at or above x (1 for x <= 1).
int next_power_of_two(int x);
// 0 for x >= 1, pi for x <= -1, else the arccosine.
float clamped_acos(float x);
// Integer b / a, at least 1.
int ratio_at_least_one(int a, int b);

// Counters of the dicing module.
struct GridStats {
    StatCounter memory;    // bytes of built grids
    StatCounter grids;     // built grids
    long built = 0;        // grids built so far
    long total_cells = 0;
    long max_cells = 0;    // the largest grid
};
GridStats &grid_stats();
// The shading serial number (the grids' clock).
uint32_t grid_clock();
