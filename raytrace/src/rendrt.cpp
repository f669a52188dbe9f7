// The render driver: one frame at RiWorldEnd, from opening the display to
// closing it, with the pixel loops (scan-line bands, the interlaced window
// loop and Hilbert-ordered tiles).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>
#include <utility>
#include <vector>
#include <sys/time.h>

#include "platform/files.h"
#include "raytrace/gprim.h"
#include "raytrace/hierarchy.h"
#include "raytrace/image_order.h"
#include "instance.h"
#include "mesh.h"
#include "raytrace/ray.h"
#include "raytrace/raytracer.h"
#include "sah_build.h"
#include "raytrace/screen_boxes.h"
#include "ri/counters.h"
#include "ri_common/rierror.h"
#include "ri_common/vecmath.h"
#include "sampling/random.h"

namespace {

double wall_seconds()
{
    timeval tv;
    gettimeofday(&tv, nullptr);
    return double(tv.tv_sec) + double(tv.tv_usec) * 1e-6;
}

// The object the previous camera ray hit, offered to the next ray.
struct LikelyHit {
    GPrimitive *object = nullptr;
    Color ci, oi;
    float x = 0, y = 0;
    float tolerance = 0;
};

class RenderDriver {
public:
    RenderDriver(RayTracer &rt) : rt_(rt), o_(rt.options), out_(rt.output), smp_(rt.sampler) {}
    void band_loop();
    void window_loop();
    void tile_loop();

private:
    // The camera hierarchy of the frame.
    void build_camera_hierarchy();
    // Traces one camera ray; the object hit comes back in hit.
    void trace(const CameraSample &s, const LikelyHit *likely, SampleResult &r, GPrimitive *&hit);
    // Shoots the samples of pixel (x, y) until it is done.
    void shoot_pixel(int x, int y, bool use_likely);
    // Row y is final: out it goes, or, where tiles were drawn as they
    // finished, the columns of it that no tile drew.
    void finish_tiled_row(int y);
    // The first pixel of the tile that holds pixel p, on a grid from origin.
    int tile_start(int p, int origin) const { return origin + (p - origin) / tile_ * tile_; }

    RayTracer &rt_;
    Options &o_;
    ImageOutput &out_;
    PixelSampler &smp_;
    LikelyHit likely_;
    int tile_ = 64, grid_x_ = 0, grid_y_ = 0;   // the tiles: size, and the frame's first sampled pixel
};

void RenderDriver::build_camera_hierarchy()
{
    // One tree over what the frame's camera rays may hit. Usually that is the
    // secondary tree: what lies off the frame no camera ray meets.
    if (rt_.band_hierarchy != rt_.secondary_hierarchy && rt_.band_hierarchy != rt_.shadow_hierarchy)
        delete rt_.band_hierarchy;
    if (rt_.secondary_hierarchy && GHierBound::camera_sees_as_secondary(rt_.frame_objects)) {
        rt_.band_hierarchy = rt_.secondary_hierarchy;
        return;
    }
    const int *sb = o_.sample_bounds;
    ScreenBoxes boxes;
    boxes.fill(rt_.frame_objects, sb[2], sb[3]);
    rt_.band_hierarchy = build_sah_tree(boxes.select(sb[0], sb[1], sb[2], sb[3]));
}

void RenderDriver::trace(const CameraSample &s, const LikelyHit *likely, SampleResult &r, GPrimitive *&hit)
{
    Ray ray(s.origin, s.dir, s.time, 0, 1, 0);
    ray.set_range(s.tmin, s.tmax);
    ray.set_sample_value(s.sample_value);
    ray.draws_key = s.draws_key;
    ray.depth = PIXEL_NO_DEPTH;
    if (likely) ray.set_likely_hit(likely->ci, likely->oi);
    ray.trace_camera(likely ? likely->object : nullptr);
    r.color = ray.color;
    r.opacity = ray.opacity;
    r.alpha = ray.alpha;
    // Depth maps hold camera-space z, which shadow lookups compare against,
    // not the distance along the ray.
    r.depth = ray.depth < PIXEL_NO_DEPTH ? ray.depth * s.depth_scale : ray.depth;
    hit = ray.hit_object;
}

// How far from the raster position of its hit a sample may lie and still
// reuse the object's shading: half a shading-rate square, less for area-lit ones.
float likely_tolerance(GPrimitive *object)
{
    if (!object || !(object->flags & GPF_SHADING_REUSE)) return -1.0f;
    float rate = 1.0f;
    if (GSurface *s = surface_of_object(object)) {
        const GState *g = s->attributes();
        if (g) rate = g->shading_rate;
    }
    float t = 0.5f * std::sqrt(std::max(rate, 0.0f));
    return (object->flags & GPF_AREA_LIT) ? t * 0.7f : t;
}

void RenderDriver::shoot_pixel(int x, int y, bool use_likely)
{
    CameraSample s;
    SampleResult r;
    smp_.start_pixel(x, y);
    // Shading is reused within the pixel only: what the pixel before it hit
    // depends on the order the pixels are rendered in.
    likely_ = LikelyHit();
    for (int k = 0; k < smp_.samples_per_pixel; ++k) {
        smp_.sample_pixel(x, y, k, s);
        const LikelyHit *hint = nullptr;
        if (use_likely && likely_.object && std::fabs(smp_.sample_x() - likely_.x) <= likely_.tolerance &&
            std::fabs(smp_.sample_y() - likely_.y) <= likely_.tolerance)
            hint = &likely_;
        GPrimitive *hit = nullptr;
        // An instance's surface held as the likely hit stays with its instance.
        placed_surfaces_tick();
        mesh_views_tick();
        if (likely_.object) placed_surface_touch(likely_.object);
        trace(s, hint, r, hit);
        if (use_likely && hit != likely_.object) {
            likely_.object = hit;
            likely_.ci = r.color;
            likely_.oi = r.opacity;
            likely_.x = smp_.sample_x();
            likely_.y = smp_.sample_y();
            likely_.tolerance = likely_tolerance(hit);
        }
        if (smp_.accumulate(out_, x, y, k, r)) break;
    }
}

void RenderDriver::band_loop()
{
    const int x0 = o_.sample_bounds[0], x1 = o_.sample_bounds[1];
    const int y0 = o_.sample_bounds[2], y1 = o_.sample_bounds[3];
    const int radius = out_.filter_radius;
    for (int y = y0; y <= y1; ++y) {
        if (y == y0) build_camera_hierarchy();
        for (int x = x0; x <= x1; ++x) shoot_pixel(x, y, false);
        if (ri_run_end_status()) return;
        if ((y - y0) % 32 == 0) out_.print_progress(y1 > y0 ? float(y - y0) / float(y1 - y0) : 1.0f);
        // The row a filter radius above can take no more samples.
        int done = y - radius;
        if (done >= 0) {
            out_.emit_scanline(done, false);
            out_.release_row(done);
        }
    }
    for (int y = std::max(y1 - radius + 1, 0); y <= o_.crop_bounds[3]; ++y) {
        out_.emit_scanline(y, false);
        out_.release_row(y);
    }
}

void RenderDriver::window_loop()
{
    const int x0 = o_.sample_bounds[0], x1 = o_.sample_bounds[1];
    const int y0 = o_.sample_bounds[2], y1 = o_.sample_bounds[3];
    build_camera_hierarchy();
    const int total = y1 - y0 + 1;
    int rows_done = 0;
    bool first = true;
    for (int step = std::max(out_.interlace_step, 1); step > 0; step /= 2) {
        int last = y0 + (y1 - y0) / step * step;
        int pass_rows = 0;
        for (int y = y0; y <= y1; y += step) {
            // Rows on the previous pass's step are done.
            if (!first && (y - y0) % (2 * step) == 0) continue;
            for (int x = x0; x <= x1; ++x) shoot_pixel(x, y, true);
            if (ri_run_end_status()) return;
            ++rows_done;
            if (++pass_rows % 64 == 0 || y == last) {
                out_.print_progress(float(rows_done) / float(total));
                out_.draw_window_image(step);
            }
        }
        first = false;
    }
    for (int y = o_.crop_bounds[2]; y <= o_.crop_bounds[3]; ++y) {
        out_.emit_row(y);
        out_.release_row(y);
    }
}

void RenderDriver::finish_tiled_row(int y)
{
    if (!out_.tile_draw) {
        out_.emit_row(y);
        return;
    }
    // A tile drew itself less a filter radius on each side, those pixels
    // waiting on samples of its neighbours; the rest of the row goes now.
    const int x0 = o_.sample_bounds[0], x1 = o_.sample_bounds[1];
    const int y0 = o_.sample_bounds[2], y1 = o_.sample_bounds[3];
    const int radius = out_.filter_radius;
    const int ty = tile_start(y, grid_y_);
    const int ty0 = std::max(ty, y0), ty1 = std::min(ty + tile_ - 1, y1);
    const bool drawn_rows = y >= ty0 + radius && y <= ty1 - radius;
    int undrawn = x0;   // first column of the run not drawn yet
    for (int tx = tile_start(x0, grid_x_); drawn_rows && tx <= x1; tx += tile_) {
        const int tx0 = std::max(tx, x0), tx1 = std::min(tx + tile_ - 1, x1);
        if (tx0 + radius > tx1 - radius) continue;
        if (undrawn < tx0 + radius) out_.draw_window_rows(y, y + 1, undrawn, tx0 + radius, true);
        undrawn = tx1 + 1 - radius;
    }
    if (undrawn <= x1) out_.draw_window_rows(y, y + 1, undrawn, x1 + 1, true);
}

void RenderDriver::tile_loop()
{
    const int x0 = o_.sample_bounds[0], x1 = o_.sample_bounds[1];
    const int y0 = o_.sample_bounds[2], y1 = o_.sample_bounds[3];
    const int radius = out_.filter_radius;
    int tile = 256;
    if (o_.xres <= 512 || o_.yres <= 512) tile = 128;
    if (out_.kind == DISPLAY_WINDOW || out_.kind == DISPLAY_DRIVER || o_.xres <= 256 || o_.yres <= 256) tile = 64;
    tile_ = tile;
    // Tiles lie on the whole frame's grid and walk its order, so that a crop
    // adds each pixel's filtered samples up in the same order as the whole
    // frame does, and so to the same floats.
    grid_x_ = x0 - o_.crop_bounds[0];
    grid_y_ = y0 - o_.crop_bounds[2];
    build_camera_hierarchy();
    // Every tile walks the same curve: walked once here.
    std::vector<std::pair<int, int>> tile_order;
    tile_order.reserve(size_t(tile) * size_t(tile));
    {
        ImageOrder order(tile, tile);
        int i, j;
        while (order.next(i, j)) tile_order.emplace_back(i, j);
    }
    const double total = double(x1 - x0 + 1) * double(y1 - y0 + 1);
    double done_pixels = 0;
    int next_emit = o_.crop_bounds[2];
    for (int ty = tile_start(y0, grid_y_); ty <= y1; ty += tile) {
        const int ty0 = std::max(ty, y0), ty1 = std::min(ty + tile - 1, y1);
        for (int tx = tile_start(x0, grid_x_); tx <= x1; tx += tile) {
            const int tx0 = std::max(tx, x0), tx1 = std::min(tx + tile - 1, x1);
            for (const auto &[i, j] : tile_order) {
                const int x = tx + i, y = ty + j;
                if (x < tx0 || x > tx1 || y < ty0 || y > ty1) continue;
                shoot_pixel(x, y, true);
            }
            if (ri_run_end_status()) return;
            done_pixels += double(tx1 - tx0 + 1) * double(ty1 - ty0 + 1);
            out_.print_progress(float(done_pixels / total));
            if (out_.tile_draw)
                out_.draw_window_rows(ty0 + radius, ty1 + 1 - radius, tx0 + radius, tx1 + 1 - radius, false);
            else
                out_.poll_window();
        }
        // Rows more than a filter radius above the next row of tiles are final.
        const int finished = std::min(ty + tile - radius - 1, o_.crop_bounds[3]);
        for (; next_emit <= finished; ++next_emit) {
            finish_tiled_row(next_emit);
            out_.release_row(next_emit);
        }
    }
    for (; next_emit <= o_.crop_bounds[3]; ++next_emit) {
        finish_tiled_row(next_emit);
        out_.release_row(next_emit);
    }
}

} // namespace

void RayTracer::render_world()
{
    Options &o = options;
    if (o.rayserver) o.verbosity = 0;
    begin_global_illumination();
    frame_objects = world_objects;
    if (!o.render_enabled) return;
    output.interlace_step = 1;
    // A frame too large for the machine ends through the out-of-memory report,
    // not an uncaught exception.
    try {
        render_frame();
    } catch (const std::bad_alloc &) {
        output.abandon();
        report_out_of_core(0);
    }
}

void RayTracer::render_frame()
{
    Options &o = options;
    if (!o.rayserver && !output.open()) return;
    const bool talk = o.verbosity > 0;

    // What a frame draws before its pixels (adaptive offsets, photons,
    // radiosity) is the same whichever frames or crops came before it.
    seed_random(RANDOM_START_SEED);
    sampler.setup(o, output.filter_radius);
    render_start_time = wall_seconds();
    free_hierarchies();
    const int *sb = o.sample_bounds;
    if (talk) {
        printf("Building secondary hierarchy...");
        fflush(stdout);
    }
    secondary_hierarchy = GHierBound::build(HIER_SECONDARY, frame_objects, sb[0], sb[1], sb[2], sb[3]);
    if (talk) {
        printf("\rBuilding shadow hierarchy...   ");
        fflush(stdout);
    }
    // Usually every object casts shadows and is seen by secondary rays: one tree then.
    if (GHierBound::same_selection(HIER_SECONDARY, HIER_SHADOW, frame_objects)) {
        shadow_hierarchy = secondary_hierarchy;
        GHierBound::skip_shuffle(HIER_SHADOW, frame_objects);
    } else {
        shadow_hierarchy = GHierBound::build(HIER_SHADOW, frame_objects, sb[0], sb[1], sb[2], sb[3]);
    }
    hierarchy_time = wall_seconds();
    if (talk) {
        printf("\rRendering \"%s\" ...       \n", o.display_name ? o.display_name : "");
        fflush(stdout);
    }

    prepare_global_illumination();

    sampler.start_pixels();
    if (!ri_run_end_status()) {   // photons that did not fit end the run
        if (o.rayserver) ray_server();
        else {
            RenderDriver driver(*this);
            if (output.window_loop) driver.window_loop();
            else if (output.scanline_callback) driver.band_loop();
            else driver.tile_loop();
        }
    }
    // An error that ended the run (out of memory, a procedural's error under
    // RiErrorAbort) leaves no picture.
    if (ri_run_end_status()) {
        output.abandon();
        return;
    }
    output.close();

    free_hierarchies();
    finish_global_illumination();
    // What was read so far belongs to this frame only (the cache saved above is one of its outputs).
    velk::forget_inputs();
    if (talk) printf("\rDone computing image.               \n");
    fflush(stdout);
    fflush(stderr);
    end_time = wall_seconds();
}
