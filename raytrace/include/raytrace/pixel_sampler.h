// Pixel sampling of a frame: where the samples of a pixel lie (fixed cells
// with multi-jittering, or adaptive offsets distributed like the filter), the
// camera ray of each sample (shutter time, lens position), and how the traced
// samples become pixels (filter weights, or the adaptive variance test).
#pragma once
#include <cstdint>
#include <cstdio>
#include <vector>

#include "raytrace/sample_buffer.h"
#include "ri/options.h"

class ImageOutput;

// Number of filter-distributed offsets of adaptive sampling.
const int ADAPTIVE_OFFSETS = 1603;
// The fixed second argument of the incomplete gamma function in the variance limits.
const float VARIANCE_GAMMA_X = 5e-5f;

// The camera ray of one sample (direction of unit length).
struct CameraSample {
    Point origin, dir;
    float time = 0;
    float tmin = 1e-10f, tmax = 1e38f;
    float sample_value = 0.5f;
    float depth_scale = 1;    // camera-space z per unit of distance along the ray
    uint64_t draws_key = 0;   // what the random draws of the sample's hits start from
};

// What tracing one camera ray gave.
struct SampleResult {
    Color color, opacity;
    float alpha = 0;
    float depth = 1e38f;
};

class PixelSampler {
public:
    // Makes the tables for the options of the frame (filter_radius from the
    // opened display).
    void setup(const Options &options, int filter_radius);
    // Frees the tables.
    void release();
    // Before the pixel loop: samples per pass, time strata, the frame's key.
    void start_pixels();
    // Before the first sample of pixel (x, y): its seeds and random draws
    // come from the pixel and the frame alone, so that a crop of the frame
    // renders each pixel as the whole frame does.
    void start_pixel(int x, int y);
    bool adaptive() const { return adaptive_; }

    // The camera ray of sample k of pixel (x, y).
    void sample_pixel(int x, int y, int k, CameraSample &out);
    // The raster position of the last sample_pixel.
    float sample_x() const { return sample_x_; }
    float sample_y() const { return sample_y_; }
    // Adds a traced sample to the rows of out; 1 when the pixel needs no more samples.
    int accumulate(ImageOutput &out, int x, int y, int k, const SampleResult &r);
    // After a query of the ray server, which has no pixels.
    void next_pixel() { pixel_seed = int32_t(uint32_t(pixel_seed) + 1u); }

    // "Variance sampling histogram:" with the pixels per sample count and the
    // average over the x by y picture.
    void print_histogram(FILE *out, int xres, int yres) const;

    int samples_per_pixel = 4;
    int samples_per_pass = 4;
    std::vector<float> jitter_x, jitter_y;   // per sample (fixed) or the adaptive offsets
    bool jitter_on = true;
    std::vector<float> filter_weights;       // [neighbour * samples_per_pixel + sample]
    std::vector<float> sample_store;         // colours of the pixel's samples (adaptive)
    std::vector<float> variance_limits;      // allowed variance by sample index (adaptive)
    std::vector<long> sample_histogram;      // pixels by final sample count (adaptive)
    float time_stratum = 0;
    int32_t pixel_seed = 0;
    int current_sample = 0;                  // k of the last sample_pixel (area-light strata)
    int jitter_cursor = 0;                   // next adaptive offset, from the pixel on

private:
    void setup_fixed();
    void setup_adaptive();

    const Options *options_ = nullptr;
    bool adaptive_ = false;
    int radius_ = 1, span_ = 3;
    // The cells (rows lo_j..hi_j, columns lo_i..hi_i) where some weight is not zero.
    int lo_i_ = 0, hi_i_ = 2, lo_j_ = 0, hi_j_ = 2;
    void find_weighted_cells();
    int xs_ = 2, ys_ = 2;
    float sx_ = 0.5f, sy_ = 0.5f;
    float sample_x_ = 0, sample_y_ = 0;
    int frame_ = 0;
    uint64_t frame_key_ = 0;   // what the frame's pixel keys start from
    float screen_per_x_ = 0, screen_per_y_ = 0;
    uint64_t pixel_key_ = 0;
    // Sums of the adaptive pixel.
    Color sum_color_, sum_opacity_;
    float sum_alpha_ = 0;
    float min_depth_ = PIXEL_NO_DEPTH;
};
