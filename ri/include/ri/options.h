// The frame options of the current renderer: everything the RI option
// procedures set, and what is derived from it when the world begins. A copy
// is pushed at FrameBegin and restored at FrameEnd.
#pragma once
#include <cstdint>

#include "ri/gstate.h"
#include "ri/primvars.h"
#include "ri_common/ri.h"
#include "ri_common/vecmath.h"

class Shader;   // a loaded shader (shading module)

enum { PROJ_PERSPECTIVE = 0, PROJ_ORTHOGRAPHIC = 1 };
enum { HIDER_NONE = 0, HIDER_HIDDEN = 1, HIDER_PAINT = 2 };

// Verbosity bits.
enum { VERBOSE_NORMAL = 1, VERBOSE_VERBOSE = 2, VERBOSE_DEBUG = 4, VERBOSE_STATS = 8 };

// Display kinds.
enum { DISPLAY_FILE = 2, DISPLAY_ASCII = 64 };

// Largest sample rate per axis and pixel filter width (pixels) stored: beyond
// them a frame's sample tables and filter footprint outgrow any picture.
const int MAX_PIXEL_SAMPLES = 64;
const float MAX_FILTER_WIDTH = 64;

// A screen window whose left edge is below this was not given.
const float SCREEN_NOT_GIVEN = -90000.0f;

// The plain values of the record (copied as they are).
struct OptionValues {
    class Options *saved = nullptr;   // next older record on the frame stack
    int xres, yres;
    int xpos, ypos;                     // image position ("origin", "-pos")
    float pixel_aspect;
    float frame_aspect_given;           // RiFrameAspectRatio; below 0: not given
    float screen_given[4];              // RiScreenWindow; left below -90000: not given
    float crop[4];                      // xmin xmax ymin ymax
    // Derived at world begin from the given values (which stay as they were,
    // so a second world derives from them again).
    float frame_aspect;
    float screen[4];                    // left right bottom top, scaled for perspective
    int projection;
    float fov;                          // degrees
    float near_clip, far_clip;
    float fstop, focal_length, focal_distance;
    float shutter_open, shutter_close;
    Matrix4 camera_to_screen, camera_to_clip, screen_to_ndc, ndc_to_raster;
    float pixel_variance;
    int xsamples, ysamples;
    RtFilterFunc filter;
    float filter_xwidth, filter_ywidth;
    float exposure_gain, exposure_gamma;
    Shader *imager;
    float color_quant[4];               // one, min, max, dither amplitude
    float depth_quant[4];
    RtToken display_name;
    RtToken pending_display;
    int display_kind;
    uint8_t display_mode_bits;
    uint8_t useprmandspy, useprmannoise;
    RtToken display_type;
    RtToken display_mode;
    uint8_t hider;
    uint8_t hider_jitter;               // samples jittered within their cells ("jitter" of the hider)
    float relative_detail;
    Color othreshold;
    int look_behind;
    int hierarchy[3];
    int specular_model;
    int verbosity;
    int stats_level;                    // end-of-frame statistics
    RtToken stats_file;
    uint8_t timer;
    int minsamples, maxsamples;
    float branch_ratio, max_branch_ratio;
    int max_raylevel;
    uint16_t minpatchsamples, radiosity_steps;   // at most the limits below
    float rad_patchsize, rad_elemsize, rad_minsize;
    float minshadowbias, maxshadowbias;
    int bucketsize[2];
    int texturememory;                  // bytes
    int geommemory;                     // bytes
    float display_resolution[2];
    RtToken resolution_unit;
    int rowsperstrip;
    int derivmemory;                    // bytes
    int program_seconds;                // a RunProgram answer's longest time
    int program_bytes;                  // and largest size
    int max_expansions;                 // procedural expansions in one frame
    intptr_t windowid;                  // window handles are pointer-sized
    int windowlocation[2];
    intptr_t windowdpy, windowrc, windowstyle, windowvi, windowcmap;
    int waitforlastframe;
    float pickregion[4];
    uint8_t pickregion_given;
    uint8_t clearfb;
    float clearcolor[3];
    uint8_t doublebuffer, dumpimage, offscreen;
    uint8_t force_silence;              // while set, verbosity words keep silence
    uint8_t ascii;                      // "-ascii" preview
    uint8_t rayserver;                  // "-rayserver"
    uint8_t render_enabled;             // cleared for frames outside "-frames"
    RtToken output_file;                // "-of"
    int curvethinning, curvethinthreshold;
    float indirect_maxerror, indirect_maxpixeldist;
    int indirect_minvalid, indirect_nsamples, indirect_interpolate;
    RtToken indirect_seedfile, indirect_savefile;
    int indirect_preseed;
    int dof_on;
    int exposure_differs;
    // Derived at world begin.
    int shutter_differs;
    float shutter_middle, shutter_length;
    int eff_xres, eff_yres;
    float screen_scale;
    float inv_xsamples, inv_ysamples;
    float max_pixel_size;
    Point eye, view_dir, cam_xaxis, cam_yaxis;
    Point cam_zgrad;   // gradient of camera z in world space (scaled cameras included)
    float lens_radius, lens_diameter;
    int crop_bounds[4];                 // xmin xmax ymin ymax, pixels
    int crop_width, crop_height;
    int sample_bounds[4];
    int frame_number;
    // Set while the world's projection came from RiPerspective in the camera
    // transformation; the projection given before it is kept to restore.
    int perspective_taken;
    int projection_before;
    float fov_before;
    // Search paths ("searchpath" option), interned; null when never set.
    RtToken archive_path, texture_path, shader_path, procedural_path, display_path;
};

// The largest radiosity step count and strata per patch side accepted
// (a side of n strata costs n*n samples at every vertex).
const int MAX_RADIOSITY_STEPS = 65535, MAX_PATCH_SAMPLES = 256;

class Options : public OptionValues {
public:
    Options() { set_defaults(); }
    // A deep copy (display parameters copied, handles shared).
    Options(const Options &o) : OptionValues() { *this = o; }
    Options &operator=(const Options &o);
    ~Options();

    void set_defaults();
    // RiFormat: each value is stored only when above 0.
    void set_format(int xres, int yres, float aspect);
    // RiDepthOfField: pinhole for an f-stop of 5e37 or more.
    void set_depth_of_field(float fstop, float focal_length, float focal_distance);
    void set_frame_number(int n) { frame_number = n; }
    // Pushes a copy of this record on the stack whose head is given; returns the new head.
    Options *push(Options *head);
    // Restores this record from the head, deletes it and returns the next one.
    Options *pop(Options *head);
    // The world-begin derivation: display name, camera, effective resolution,
    // screen window, the four matrices, crop and sample bounds, strips.
    void prepare_world(const TransformationRef &current);
    // Gives back what the world begin derived into given values.
    void end_world();

    TransformationRef camera;            // taken at world begin
    ShaderInstanceRef imager_instance;   // the imager's parameter values
    VertexVarList display_params;        // deep-copied with the record

private:
    // Turns RiPerspective at the end of the camera transformation into the projection.
    void take_camera_perspective();
};

// The world vector whose dot product with an offset from the eye gives that
// offset's camera-space z under the camera transformation at time t.
Point camera_z_gradient(const TransformationRef &camera, float t);

// The camera frame a ray is built from, given the world images of the camera's
// z, x and y axes: forward becomes a unit vector; for a perspective camera
// right and up are taken to forward's scale, so that forward + u right + v up
// runs through camera-space (u, v, 1) however unevenly the camera is scaled.
void perspective_axes(bool perspective, Point &forward, Point &right, Point &up);
