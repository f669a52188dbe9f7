// Drawing of grids and polygons: the plain callbacks, which fill (or outline,
// by the polygon mode) what they are given, and the hidden-line "sketch" pair,
// which draws jittered outlines over a fill in the background colour.
#pragma once
#include "preview/glrenderer.h"

// The normal of every grid point from the edges to the next column and row
// (backward edges in the last column and row); negated for inside-out
// orientation when inside_out is set.
void compute_grid_normals(GlRenderer &r, int nu, int nv, bool inside_out);

// The plain callbacks.
void draw_grid_plain(GlRenderer &r, int nu, int nv, bool flip, bool compute_normals);
void draw_polygons_plain(GlRenderer &r, int npolys, const int *nverts, const int *verts, const float *P,
                         const float *N, const float *Cs);

// The hidden-line callbacks.
void draw_grid_sketch(GlRenderer &r, int nu, int nv, bool flip, bool compute_normals);
void draw_polygons_sketch(GlRenderer &r, int npolys, const int *nverts, const int *verts, const float *P,
                          const float *N, const float *Cs);

// The outline colour of the sketch mode: the colour, with every component
// closer than 0.2 to the background's replaced by 1 minus itself.
Color sketch_line_color(const Color &color, const float background[3]);

// The face normal of a polygon of n vertices of P (three floats each) taken
// through idx: for a triangle or a convex polygon the direction of
// (P1 - P0) x (P2 - P0); summed over every edge, so that collinear first
// vertices or a reflex first corner do not lose or turn it. Reversed for
// inside-out orientation.
Point polygon_face_normal(const float *P, const int *idx, int n, bool inside_out);
