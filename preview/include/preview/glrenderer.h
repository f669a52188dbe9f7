// The previewer's back end: keeps the front end's state handling and draws
// every primitive with OpenGL into a window instead of ray tracing it. Colour
// and the four standard light shaders are the only shading it uses; the frame
// can be dumped to a TIFF file and a depth file; at the end of the run the
// last frame stays on the screen until the user quits.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "preview/frame_pacer.h"
#include "preview/gllight.h"
#include "ri/renderer.h"

namespace velk { class Window; }

// Points per side of the vertex and normal grids.
const int GRID_POINTS = 128;
// Most quads per side of one grid.
const int GRID_MAX_QUADS = GRID_POINTS - 1;

class GlRenderer;
// Draws the grid held in the renderer: nu x nv quads (rows 0..nv, columns 0..nu).
using GridCallback = void (*)(GlRenderer &r, int nu, int nv, bool flip, bool compute_normals);
// Draws npolys polygons of nverts[i] vertices each, indexing P (and N and Cs
// when not null) through verts.
using PolygonCallback = void (*)(GlRenderer &r, int npolys, const int *nverts, const int *verts,
                                 const float *P, const float *N, const float *Cs);

class GlRenderer : public Renderer {
public:
    GlRenderer();
    // Keeps the last frame up until the user quits (unless told not to wait or
    // a dump was asked for), then closes the window.
    ~GlRenderer() override;

    RtPointer shader(RtToken name, int use, RtInt n, RtToken tokens[], RtPointer values[]) override;
    void make_current() override {}
    void frame_begin(int n) override;
    void frame_end() override;
    void world_begin() override;
    void world_end() override;
    void pop_attributes() override;
    void color_changed(const float *color) override;
    void sides_changed() override;
    void representation_changed() override;
    int max_motion_times() override { return 1; }
    int display(RtToken name, RtToken type, RtToken mode, RtInt n, RtToken tokens[], RtPointer values[]) override;

    // Primitives (glprimitives.cpp, glquadrics.cpp, glpatches.cpp, procedurals.cpp).
    void add_cone(RtFloat height, RtFloat radius, RtFloat thetamax, RtInt n, RtToken tokens[],
                  RtPointer values[]) override;
    void add_cylinder(RtFloat radius, RtFloat zmin, RtFloat zmax, RtFloat thetamax, RtInt n, RtToken tokens[],
                      RtPointer values[]) override;
    void add_disk(RtFloat height, RtFloat radius, RtFloat thetamax, RtInt n, RtToken tokens[],
                  RtPointer values[]) override;
    void add_hyperboloid(RtPoint point1, RtPoint point2, RtFloat thetamax, RtInt n, RtToken tokens[],
                         RtPointer values[]) override;
    void add_paraboloid(RtFloat rmax, RtFloat zmin, RtFloat zmax, RtFloat thetamax, RtInt n, RtToken tokens[],
                        RtPointer values[]) override;
    void add_sphere(RtFloat radius, RtFloat zmin, RtFloat zmax, RtFloat thetamax, RtInt n, RtToken tokens[],
                    RtPointer values[]) override;
    void add_torus(RtFloat majorrad, RtFloat minorrad, RtFloat phimin, RtFloat phimax, RtFloat thetamax, RtInt n,
                   RtToken tokens[], RtPointer values[]) override;
    void add_polygon(RtInt nvertices, RtInt n, RtToken tokens[], RtPointer values[]) override;
    void add_general_polygon(RtInt nloops, RtInt nverts[], RtInt n, RtToken tokens[], RtPointer values[]) override;
    void add_points_polygons(RtInt npolys, RtInt nverts[], RtInt verts[], RtInt n, RtToken tokens[],
                             RtPointer values[]) override;
    void add_points_general_polygons(RtInt npolys, RtInt nloops[], RtInt nverts[], RtInt verts[], RtInt n,
                                     RtToken tokens[], RtPointer values[]) override;
    void add_bilinear_patch(RtFloat umin, RtFloat umax, RtFloat vmin, RtFloat vmax, RtInt n, RtToken tokens[],
                            RtPointer values[]) override;
    void add_bicubic_patch(RtFloat umin, RtFloat umax, RtFloat vmin, RtFloat vmax, RtInt n, RtToken tokens[],
                           RtPointer values[]) override;
    void add_patch_mesh(RtToken type, RtInt nu, RtToken uwrap, RtInt nv, RtToken vwrap, RtInt n, RtToken tokens[],
                        RtPointer values[]) override;
    void add_nu_patch(RtInt nu, RtInt uorder, RtFloat uknot[], RtFloat umin, RtFloat umax, RtInt nv, RtInt vorder,
                      RtFloat vknot[], RtFloat vmin, RtFloat vmax, RtInt n, RtToken tokens[],
                      RtPointer values[]) override;
    void add_curves(RtToken type, RtInt ncurves, RtInt nvertices[], RtToken wrap, RtInt n, RtToken tokens[],
                    RtPointer values[]) override;
    void add_points(RtInt npoints, RtInt n, RtToken tokens[], RtPointer values[]) override;
    void add_subdivision_mesh(RtToken scheme, RtInt nfaces, RtInt nvertices[], RtInt vertices[], RtInt ntags,
                              RtToken tags[], RtInt nargs[], RtInt intargs[], RtFloat floatargs[], RtInt n,
                              RtToken tokens[], RtPointer values[]) override;
    void add_blobby(RtInt nleaf, RtInt ncode, RtInt code[], RtInt nflt, RtFloat flt[], RtInt nstr, RtToken str[],
                    RtInt n, RtToken tokens[], RtPointer values[]) override;
    void add_procedural(RtPointer data, RtBound bound, RtProcSubdivFunc subdivfunc, RtProcFreeFunc freefunc) override;
    void solid_begin(RtToken) override {}
    void solid_end() override {}
    RtObjectHandle object_begin() override;
    void object_end() override;
    void object_instance(RtObjectHandle handle) override;

    // ---- used by the drawing code ----------------------------------------

    // True when a primitive is not drawn: a later specification of a motion
    // block, or inside an object definition (reported).
    bool skip_primitive();
    // The start of drawing a primitive: false when no world is being drawn.
    // Otherwise the GL matrix is pushed with the current transformation and
    // a display list given by "displayListHandle" is replayed (false) or
    // recorded.
    bool begin_drawing(RtInt n, RtToken tokens[], RtPointer values[]);
    // Both of the above.
    bool begin_primitive(RtInt n, RtToken tokens[], RtPointer values[])
    {
        return !skip_primitive() && begin_drawing(n, tokens, values);
    }
    // Pops the matrix and ends a recorded list.
    void end_primitive();
    // Quads per side of a grid: the "divisions" attribute when given, else
    // the defaults; at most GRID_MAX_QUADS, at least 1.
    void grid_size(int default_u, int default_v, int &nu, int &nv) const;
    // Whether a procedural's bound (object space) reaches the picture's
    // sample bounds, and the detail passed to its subdivision: the raster
    // area of the bound widened by a pixel on each side (at most the
    // picture's), or 1e38 when the bound reaches the eye's plane.
    bool procedural_detail(const RtBound bound, float &detail);
    // Draws the grid through the current callback.
    void draw_grid(int nu, int nv, bool flip, bool compute_normals) { grid_callback(*this, nu, nv, flip, compute_normals); }
    void draw_polygons(int npolys, const int *nverts, const int *verts, const float *P, const float *N,
                       const float *Cs)
    {
        polygon_callback(*this, npolys, nverts, verts, P, N, Cs);
    }
    // The GL front face for the current transformation and orientation.
    void set_front_face() const;
    // Sets the face culling for one (1) or two (2) sides.
    void set_sides(int sides);
    // Colour notification without the world check (the sketch mode's colours).
    void apply_color(const float *color);

    // Statistics.
    int64_t total_polygons = 0;
    int64_t frame_polygons = 0;

    // Grids of points and normals, row i (v) and column j (u).
    Point grid[GRID_POINTS][GRID_POINTS];
    Point normals[GRID_POINTS][GRID_POINTS];
    // 1..32: quads per quarter turn and the like, from the relative detail.
    int tessellation = 8;
    GridCallback grid_callback;
    PolygonCallback polygon_callback;
    // The clear colour of the window (the "background" imager and "clearcolor").
    float clear_color[3] = {0, 0, 0};

    // ---- program settings (command line) ----------------------------------

    bool wait_at_end = true;       // cleared by "-nowait"
    bool unlit = false;            // every later light source is ignored
    std::string frame_command;     // run at every frame end ("-fc")
    FramePacer pacer;              // "-sync"

    // ---- lights -----------------------------------------------------------

    // Stored lights (made outside a world) and the level they were made at.
    GlLight lights[PREVIEW_MAX_LIGHTS];
    uint32_t light_levels[PREVIEW_MAX_LIGHTS] = {};
    int light_count = 0;
    // GL lights in use in the current world.
    int enabled_lights = 0;
    // Light source requests made inside worlds.
    int light_requests = 0;
    // Enables the next GL light for l; the current transformation is applied
    // first when under_current is set. Lights past the eighth are ignored.
    void apply_gl_light(const GlLight &l, bool under_current);

    // ---- window and frames -------------------------------------------------

    velk::Window *window() const { return window_.get(); }
    // True while a world is being drawn into the window.
    bool drawing_world() const { return drawing_world_; }
    // Sets up the viewport, the projection and the camera for a drawing area.
    void set_projection(int width, int height);
    // Writes the picture (and its depth) to the display name's file.
    void dump_frame();
    // Shows the picture on the screen until Esc or 'Q' ends the loop.
    void wait_for_quit(int width, int height);
    bool glu_1_2 = false;          // GLU 1.2 or later

private:
    // Opens the window; false when it cannot be made.
    bool create_window();
    // Where the window goes: "windowlocation", else the image position.
    void window_position(int &x, int &y) const;
    std::unique_ptr<velk::Window> window_;
    bool placed_ = false;          // the window was moved to its place once
    int win_x_ = 0, win_y_ = 0, win_w_ = 0, win_h_ = 0;
    bool dropping_frame_ = false;
    bool drawing_world_ = false;   // a world is being drawn into the window
    int display_list_ = 0;         // list being recorded, 0 when none
    // Makes a window and its GL context current (the first time, the window
    // is opened and the driver started); false when there is none.
    bool ensure_context();
    // Deletes the lists of the definitions made at any of those levels.
    void free_object_lists(uint32_t owner);
    bool gl_started_ = false;      // the driver's first drawing was done
    intptr_t object_counter_ = 0;
    // The GL list of each object definition (by handle number) and the level
    // it was made at; the list being recorded (0 when none).
    std::map<intptr_t, std::pair<unsigned, uint32_t>> object_lists_;
    unsigned recording_object_ = 0;
    int compression_ = 1;          // of the display: "none" 0, "lzw" 1, "zip" 2
    int zcompression_ = 0;
};

// The near and far planes of the GL projection: near at least 0.05, far at
// most 100000 (and beyond near).
void clip_range(const Options &o, float &near_plane, float &far_plane);

// The current renderer when it is the previewer's back end, else null.
GlRenderer *current_gl_renderer();

// Makes a GlRenderer the current renderer (with the Bezier basis and step 3).
GlRenderer *new_gl_renderer();

// Linking this (the preview library asks the linker for it) makes RiBegin
// make a previewer.
extern "C" const int velk_previewer;
