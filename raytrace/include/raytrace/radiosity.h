// Progressive radiosity: every surface is meshed into patches over its
// parameters, patches into elements whose corners are vertices shared within
// the object; direct light is gathered at the vertices, then the patch with
// the most unshot energy shoots to every vertex, step after step, with the
// elements refined where the light changes. Shading looks the solution up.
#pragma once
#include <cstdint>
#include <cstdio>

#include "ri_common/vecmath.h"

class GPrimitive;
class GSurface;
struct ShadingPoint;

// One mesh corner of an object, both sides lit separately.
struct RadVertex {
    RadVertex *next;      // the object's vertex list
    Point Pobj, Nobj;     // object space (unit normal)
    Point P, N;           // world space (unit normal of the front)
    float u, v;           // the surface parameters it was made at
    Color direct[2];      // front, back
    Color indirect[2];
    Color gathered[2];    // direct light of the gathering under way
    Color stepped[2];     // indirect light of the shooting step under way
};

struct RadiosityPatch;
using RadPatch = RadiosityPatch;

// A piece of a patch: the rectangle of parameters with its four corners at
// (umin,vmin), (umax,vmin), (umax,vmax), (umin,vmax).
struct RadiosityElement {
    RadiosityElement *next;   // the patch's element list
    RadPatch *patch;
    RadVertex *corner[4];
    float umin, vmin, umax, vmax;
    float area;               // the two triangles of the corners
    uint8_t corners;
    uint8_t done;             // refinement found nothing more to split
    // Keeps the lower-left quadrant and hangs three new elements for the
    // others right after it in the patch's list; with recurse, again until
    // both tested edges are shorter than the surface's element size.
    void subdivide(bool recurse);
    // Whether splitting it stays within the patch's depth bound.
    bool may_split() const;
};
using RadElement = RadiosityElement;

// A shooting unit: a rectangle of the surface's parameters and its elements.
struct RadiosityPatch {
    RadiosityPatch *next;   // the surface's patch list
    GSurface *owner;
    Color total[2];         // energy received, front and back
    Color shot[2];          // the part already shot
    float area;
    float umin, vmin, umax, vmax;
    RadElement *elements;
    int max_split;          // how many times an element may be quartered
};

// Bytes the statistics charge for one record.
const int RAD_PATCH_BYTES = 88, RAD_ELEMENT_BYTES = 48, RAD_VERTEX_BYTES = 148;

// ---- the mesh (radmesh.cpp) ----------------------------------------------

// The shared vertex of the surface at (u, v): one within 0.001 in world
// space, else a new one.
RadVertex *rad_vertex_at(GSurface *s, float u, float v);
// The world-space point and unit front normal of the surface at (u, v).
void rad_surface_point(GSurface *s, float u, float v, Point &P, Point &N);
// Calls f on every vertex or patch of every surface reachable from
// the list (only its first object without follow), with side 0, and again
// with side 1 for a two-sided surface.
void for_each_rad_vertex(GPrimitive *list, void (*f)(GSurface *, RadVertex *, int side, void *), void *arg,
                         int follow);
void for_each_rad_patch(GPrimitive *list, void (*f)(GSurface *, RadPatch *, int side, void *), void *arg,
                        int follow);
// The vertices of a surface (its list head), null when it has no mesh.
RadVertex *rad_vertices(const GSurface *s);
// Records made since the meshes were last freed.
struct RadMeshCounts {
    long patches = 0, elements = 0, vertices = 0;
};
const RadMeshCounts &rad_mesh_counts();
// Starts the counts of a new frame.
void reset_rad_mesh_counts();
// Forgets the meshes of the surfaces reachable from list and frees every
// mesh record.
void free_radiosity_meshes(GPrimitive *list);

// ---- the solution (radiosity.cpp) -----------------------------------------

// Whether a solution is there to look up (set after the solution of the
// frame, cleared when the frame is done).
bool radiosity_results_ready();
void set_radiosity_results_ready(bool ready);
// Forgets the previous frame's solution and its statistics.
void reset_radiosity();
// Whether radiosity is being computed (specular paths are recorded then).
bool radiosity_running();
// Gathers light at one side of a vertex: direct light while no patch
// shoots, else the current shooter's energy.
void gather_at_vertex(GSurface *s, RadVertex *v, int side);
// The radiosity at a shading point into result; false (reported) when no
// patch holds its parameters.
bool find_patch(Color &result, ShadingPoint *sv);
// Lights the vertex at (u, v) of the surface between vertices a and b:
// interpolated from them, then gathered afresh.
void subdivide_element(GSurface *s, RadVertex *a, RadVertex *b, float u, float v);
// "Radiosity:" block (only after a solution).
void print_radiosity_stats(FILE *out);
// Writes the mesh of the list as constant-coloured polygons with the direct
// (parts 1), indirect (2) or both (3) light at their corners.
void write_radiosity_rib(GPrimitive *list, FILE *out, int parts);
