#include "raytrace/pixel_sampler.h"

#include <algorithm>
#include <cmath>

#include "raytrace/gamma.h"
#include "raytrace/image_order.h"
#include "raytrace/imgout.h"
#include "ri_common/rierror.h"
#include "ri/transformation.h"
#include "sampling/random.h"
#include "sampling/sampling.h"

namespace {

// Draws of one adaptive offset before the last candidate is taken as it is.
const int MAX_REJECTIONS = 1 << 20;
// Least sum of a pixel's filter weights, as a part of the sum of their
// magnitudes, that pixels are divided by (at most 4 times magnification).
const double MIN_FILTER_SUM = 0.25;

int32_t seed_plus(int32_t seed, int32_t by)
{
    return int32_t(uint32_t(seed) + uint32_t(by));
}

} // namespace

void PixelSampler::setup(const Options &o, int filter_radius)
{
    release();
    options_ = &o;
    radius_ = filter_radius < 0 ? 0 : filter_radius;
    span_ = 2 * radius_ + 1;
    // Bounded so that the sample count per pixel and the table sizes fit an int.
    xs_ = std::clamp(o.xsamples, 1, MAX_PIXEL_SAMPLES);
    ys_ = std::clamp(o.ysamples, 1, MAX_PIXEL_SAMPLES);
    sx_ = 1.0f / float(xs_);
    sy_ = 1.0f / float(ys_);
    adaptive_ = o.pixel_variance != 0;
    if (adaptive_) setup_adaptive();
    else setup_fixed();
    find_weighted_cells();
}

void PixelSampler::find_weighted_cells()
{
    lo_i_ = lo_j_ = 0;
    hi_i_ = hi_j_ = span_ - 1;
    if (adaptive_ || filter_weights.empty()) return;
    int li = span_, hi = -1, lj = span_, hj = -1;
    const size_t spp = size_t(samples_per_pixel);
    for (int n = 0; n < span_ * span_; ++n)
        for (size_t k = 0; k < spp; ++k)
            if (filter_weights[size_t(n) * spp + k] != 0) {
                int i = n % span_, j = n / span_;
                li = std::min(li, i);
                hi = std::max(hi, i);
                lj = std::min(lj, j);
                hj = std::max(hj, j);
                break;
            }
    if (hi < 0) return;
    lo_i_ = li;
    hi_i_ = hi;
    lo_j_ = lj;
    hi_j_ = hj;
}

void PixelSampler::release()
{
    jitter_x.clear();
    jitter_y.clear();
    filter_weights.clear();
    sample_store.clear();
    variance_limits.clear();
    sample_histogram.clear();
}

void PixelSampler::setup_fixed()
{
    const Options &o = *options_;
    samples_per_pixel = xs_ * ys_;
    jitter_on = o.hider_jitter && !(xs_ < 2 && ys_ < 2);
    // The centre cell first, then the others along the curve.
    const int ci = (xs_ - 1) / 2, cj = (ys_ - 1) / 2;
    auto add_cell = [this](int i, int j) {
        float ox = (float(i) + 0.5f) * sx_ - 0.5f, oy = (float(j) + 0.5f) * sy_ - 0.5f;
        RI_ASSERT(ox >= -0.5f && ox <= 0.5f && oy >= -0.5f && oy <= 0.5f, "rendrt");
        jitter_x.push_back(ox);
        jitter_y.push_back(oy);
    };
    add_cell(ci, cj);
    ImageOrder order(xs_, ys_);
    int i, j;
    while (order.next(i, j))
        if (i != ci || j != cj) add_cell(i, j);

    // One filter weight per neighbour pixel and sample. Pixels divide by the
    // sum of the weights they actually received (resolve_pixel), so the
    // weights are not normalised per sample: that leaves full coverage just
    // short of 1 and, with negative lobes, far off it.
    const int cells = span_ * span_, spp = samples_per_pixel;
    filter_weights.assign(size_t(cells) * size_t(spp), 0.0f);
    double total = 0, magnitude = 0;
    for (int n = 0; n < cells; ++n) {
        float dx = float(n % span_ - radius_), dy = float(n / span_ - radius_);
        for (int k = 0; k < spp; ++k) {
            float &w = filter_weights[size_t(n) * spp + k];
            w = o.filter ? o.filter(jitter_x[k] - dx, jitter_y[k] - dy, o.filter_xwidth, o.filter_ywidth) : 0.0f;
            if (!(w >= -10.0f && w <= 10.0f)) w = 0;
            total += w;
            magnitude += std::fabs(w);
        }
    }
    // Every pixel receives the whole table, so its divisor is the table's
    // sum. A filter whose lobes nearly cancel would divide by almost
    // nothing and blow edges up by any amount: its magnitudes are used.
    if (magnitude > 0 && !(total >= MIN_FILTER_SUM * magnitude)) {
        ri_error(RIE_RANGE, RIE_WARNING,
                 "PixelFilter: the filter's weights nearly cancel (their sum is %g of their magnitudes); "
                 "their magnitudes are used",
                 total / magnitude);
        for (float &w : filter_weights) w = std::fabs(w);
        total = magnitude;
    }
    if (!(total > 0)) {
        // Narrower than the sample spacing: no sample is weighted at all.
        // Each pixel takes its own samples rather than being left black.
        if (o.filter)
            ri_error(RIE_RANGE, RIE_WARNING,
                     "PixelFilter: the filter weights no sample of a pixel; each pixel takes its own samples");
        std::fill(filter_weights.begin(), filter_weights.end(), 0.0f);
        const size_t own = size_t(radius_ * span_ + radius_) * size_t(spp);
        std::fill(filter_weights.begin() + long(own), filter_weights.begin() + long(own) + spp, 1.0f);
        return;
    }
    // Scaled to sum to 1, so that a narrow filter's tiny weights are not
    // taken for no weight at all.
    const double scale = 1.0 / total;
    for (float &w : filter_weights) w = float(double(w) * scale);
}

void PixelSampler::setup_adaptive()
{
    const Options &o = *options_;
    const float xw = o.filter_xwidth, yw = o.filter_ywidth;
    samples_per_pixel = 1000;
    int maximum = o.maxsamples < 1 ? 1 : o.maxsamples;
    sample_store.assign(size_t(maximum) * 3, 0.0f);

    // The filter's average height over its support, from uniform offsets.
    jitter_x.assign(ADAPTIVE_OFFSETS, 0.0f);
    jitter_y.assign(ADAPTIVE_OFFSETS, 0.0f);
    auto filter = [&o, xw, yw](float x, float y) { return o.filter ? o.filter(x, y, xw, yw) : 1.0f; };
    float sum = 0;
    for (int i = 0; i < ADAPTIVE_OFFSETS; ++i) {
        float x = (random_uniform() - 0.5f) * xw, y = (random_uniform() - 0.5f) * yw;
        sum += filter(x, y);
    }
    float average = xw * yw != 0 ? sum / (xw * yw) : 0.0f;
    // Offsets distributed like the filter, by rejection, one quadrant after another.
    for (int i = 0; i < ADAPTIVE_OFFSETS; ++i) {
        float x = 0, y = 0;
        for (int tries = 0; tries < MAX_REJECTIONS; ++tries) {
            x = random_uniform() * xw * 0.5f;
            y = random_uniform() * yw * 0.5f;
            if (i & 1) x = -x;
            if (!(i & 2)) y = -y;
            if (!(average > 0) || random_uniform() <= filter(x, y) / average) break;
        }
        jitter_x[size_t(i)] = x;
        jitter_y[size_t(i)] = y;
    }

    variance_limits.assign(size_t(maximum) + 1, 0.0f);
    float top = gammq(float(maximum) / 2.0f, VARIANCE_GAMMA_X);
    for (int j = 1; j <= maximum; ++j)
        variance_limits[size_t(j)] = gammq(float(j) / 2.0f, VARIANCE_GAMMA_X) * o.pixel_variance / top;
    sample_histogram.assign(size_t(maximum) + 1, 0);
    sum_color_ = sum_opacity_ = Color();
    sum_alpha_ = 0;
    min_depth_ = PIXEL_NO_DEPTH;
}

void PixelSampler::start_pixels()
{
    const Options &o = *options_;
    samples_per_pass = adaptive_ ? 4 : xs_ * ys_;
    time_stratum = (o.shutter_close - o.shutter_open) / float(samples_per_pass);
    pixel_seed = 0;
    frame_ = o.frame_number;
    frame_key_ = frame_random_key(frame_, RANDOM_FOR_SAMPLES);
    // Screen units per pixel, the same quotients for every sample.
    int xres = o.eff_xres > 0 ? o.eff_xres : 1, yres = o.eff_yres > 0 ? o.eff_yres : 1;
    screen_per_x_ = (o.screen[1] - o.screen[0]) / float(xres);
    screen_per_y_ = (o.screen[3] - o.screen[2]) / float(yres);
}

void PixelSampler::start_pixel(int x, int y)
{
    pixel_key_ = pixel_key_in_frame(frame_key_, x, y);
    pixel_seed = int32_t(uint32_t(pixel_key_ >> 32));
    jitter_cursor = int(pixel_key_ % uint64_t(ADAPTIVE_OFFSETS));
}

void PixelSampler::sample_pixel(int x, int y, int k, CameraSample &out)
{
    current_sample = k;
    const Options &o = *options_;
    // Each sample draws on its own, so that the pixel's value does not hang
    // on how many draws the shading of the samples before it took.
    out.draws_key = random_key(pixel_key_, uint64_t(uint32_t(k)));
    seed_random_stream(out.draws_key);
    // Time.
    float time = o.shutter_open;
    if (o.shutter_close != o.shutter_open)
        time = o.shutter_open + (random_uniform() + float(sample_permutation(k, samples_per_pass,
                                                                              seed_plus(pixel_seed, 3)))) *
                                    time_stratum;
    // Position in the raster.
    float px = float(x) + 0.5f, py = float(y) + 0.5f;
    if (adaptive_) {
        px += jitter_x[size_t(jitter_cursor)];
        py += jitter_y[size_t(jitter_cursor)];
        if (++jitter_cursor >= ADAPTIVE_OFFSETS) jitter_cursor = 0;
    } else {
        int kk = k % samples_per_pixel;
        px += jitter_x[size_t(kk)];
        py += jitter_y[size_t(kk)];
        if (jitter_on) {
            int a = kk / xs_, b = kk % xs_;
            int p = sample_permutation(a, ys_, seed_plus(pixel_seed, b + 15));
            int q = sample_permutation(b, xs_, seed_plus(pixel_seed, a + 30));
            px += ((float(p) + 0.5f) * sy_ - 0.5f) * sx_;
            py += sy_ * ((float(q) + 0.5f) * sx_ - 0.5f);
            px += (random_uniform() - 0.5f) * sx_ * sy_;
            py += (random_uniform() - 0.5f) * sx_ * sy_;
        }
    }
    sample_x_ = px;
    sample_y_ = py;

    // Camera frame, at the sample's time when the camera moves.
    Point eye = o.eye, forward = o.view_dir, right = o.cam_xaxis, up = o.cam_yaxis, zgrad = o.cam_zgrad;
    if (o.camera.is_set() && o.camera->moving()) {
        zgrad = camera_z_gradient(o.camera, time);
        const float zero[3] = {0, 0, 0}, zx[3] = {0, 0, 1}, xx[3] = {1, 0, 0}, yx[3] = {0, 1, 0};
        o.camera->point_from_world(zero, eye.data(), time);
        o.camera->vector_from_world(zx, forward.data(), time);
        o.camera->vector_from_world(xx, right.data(), time);
        o.camera->vector_from_world(yx, up.data(), time);
        perspective_axes(o.projection == PROJ_PERSPECTIVE, forward, right, up);
    }
    // Screen position.
    float u = px * screen_per_x_ + o.screen[0];
    float v = o.screen[3] - py * screen_per_y_;
    Point origin, dir;
    if (o.projection == PROJ_ORTHOGRAPHIC) {
        origin = eye + u * right + v * up;
        dir = forward;
    } else {
        origin = eye;
        dir = forward + u * right + v * up;
    }
    // Depth of field.
    if (o.dof_on) {
        // Focal distance and lens radius are camera-space lengths: zunit is the
        // world length of one camera z unit (dir has camera z 1/zunit per unit).
        const float zper = dot(forward, zgrad);
        const float zunit = std::fabs(zper - 1) <= 1e-5f || zper == 0 ? 1.0f : 1.0f / zper;
        // Perspective right and up are in units of camera z; orthographic ones of camera x, y.
        const float lens = o.lens_radius * (o.projection == PROJ_ORTHOGRAPHIC ? 1.0f : zunit);
        Point focus = origin + (o.focal_distance * zunit) * dir;
        float a, b;
        stratified_sample_2d_b(k, samples_per_pass, seed_plus(pixel_seed, 21), a, b);
        origin += a * lens * right + b * lens * up;
        dir = focus - origin;
    }
    dir.normalize();
    out.origin = origin;
    out.dir = dir;
    out.time = time;
    // Clipping planes lie at camera-space z, as depths do.
    float along = dot(dir, zgrad);
    out.depth_scale = along;
    float c = along != 0 ? 1.0f / along : 1e38f;
    out.tmin = c * o.near_clip;
    out.tmax = c * o.far_clip;
    out.sample_value =
        (random_uniform() + float(sample_permutation(k, samples_per_pass, seed_plus(pixel_seed, 18)))) /
        float(samples_per_pass);
}

int PixelSampler::accumulate(ImageOutput &out, int x, int y, int k, const SampleResult &r)
{
    const Options &o = *options_;
    const int cx0 = o.crop_bounds[0], cx1 = o.crop_bounds[1], cy0 = o.crop_bounds[2], cy1 = o.crop_bounds[3];
    const bool inside = x >= cx0 && x <= cx1 && y >= cy0 && y <= cy1;
    if (!adaptive_) {
        const int spp = samples_per_pixel, kk = k % spp;
        // A zero weight adds nothing to a finite sample, so only the weighted
        // cells are visited (a wide table around a box filter is mostly zeros).
        const bool finite = std::isfinite(r.color.x) && std::isfinite(r.color.y) && std::isfinite(r.color.z) &&
                            std::isfinite(r.opacity.x) && std::isfinite(r.opacity.y) &&
                            std::isfinite(r.opacity.z) && std::isfinite(r.alpha);
        const int j0 = finite ? lo_j_ : 0, j1 = finite ? hi_j_ : span_ - 1;
        const int i0 = finite ? lo_i_ : 0, i1 = finite ? hi_i_ : span_ - 1;
        for (int j = j0; j <= j1; ++j) {
            int ny = y + j - radius_;
            if (ny < cy0 || ny > cy1) continue;
            PixelSample *row = out.row(ny);
            if (!row) continue;
            for (int i = i0; i <= i1; ++i) {
                int nx = x + i - radius_;
                if (nx < cx0 || nx > cx1) continue;
                float w = filter_weights[size_t(j * span_ + i) * spp + kk];
                if (w == 0 && finite) continue;
                PixelSample &p = row[nx];
                p.color += w * r.color;
                p.opacity += w * r.opacity;
                p.alpha += w * r.alpha;
                p.weight += w;
            }
        }
        PixelSample *own = inside ? out.row(y) : nullptr;
        if (own && r.depth < own[x].depth) own[x].depth = r.depth;
        return 0;
    }

    const int maximum = int(sample_store.size() / 3);
    if (k < 0 || k >= maximum) return 1;
    sample_store[size_t(k) * 3] = r.color.x;
    sample_store[size_t(k) * 3 + 1] = r.color.y;
    sample_store[size_t(k) * 3 + 2] = r.color.z;
    sum_color_ += r.color;
    sum_opacity_ += r.opacity;
    sum_alpha_ += r.alpha;
    if (r.depth < min_depth_) min_depth_ = r.depth;
    const int m = k + 1;
    if (m < maximum) {
        if (m < o.minsamples || m % samples_per_pass != 0) return 0;
        Color mean = sum_color_ * (1.0f / float(m));
        Color var;
        for (int s = 0; s < m; ++s)
            for (int c = 0; c < 3; ++c) {
                float d = sample_store[size_t(s) * 3 + size_t(c)] - mean[c];
                var[c] += d * d;
            }
        var *= 1.0f / float(m);
        float limit = variance_limits[size_t(k)];
        if (!(var.x < limit && var.y < limit && var.z < limit)) return 0;
    }
    PixelSample *row = inside ? out.row(y) : nullptr;
    if (row) {
        PixelSample &p = row[x];
        p.color = sum_color_;
        p.opacity = sum_opacity_;
        p.alpha = sum_alpha_;
        p.weight = float(m);
        p.depth = min_depth_;
    }
    sum_color_ = sum_opacity_ = Color();
    sum_alpha_ = 0;
    min_depth_ = PIXEL_NO_DEPTH;
    if (size_t(m) < sample_histogram.size()) ++sample_histogram[size_t(m)];
    return 1;
}

void PixelSampler::print_histogram(FILE *out, int xres, int yres) const
{
    if (sample_histogram.empty()) return;
    fprintf(out, "Variance sampling histogram:\n");
    double total = 0;
    for (size_t s = 0; s < sample_histogram.size(); ++s) {
        if (!sample_histogram[s]) continue;
        fprintf(out, "%8ld pixels had %d samples\n", sample_histogram[s], int(s));
        total += double(sample_histogram[s]) * double(s);
    }
    double pixels = double(xres) * double(yres);
    fprintf(out, "Average samples per pixel: %g\n", pixels > 0 ? total / pixels : 0.0);
}
