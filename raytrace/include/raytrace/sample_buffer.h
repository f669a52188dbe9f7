// The filtered samples of the image rows while a frame is rendered: one
// buffer per row, made when the first sample touches the row and released
// once the row has been written out.
#pragma once
#include <vector>

#include "ri_common/vecmath.h"

// Depth of a pixel that no sample has hit yet.
const float PIXEL_NO_DEPTH = 1e30f;

// The accumulated values of one pixel: weighted sums of its samples and the
// sum of the weights that made them.
struct PixelSample {
    Color color;
    Color opacity;
    float alpha = 0;
    float depth = PIXEL_NO_DEPTH;
    float weight = 0;
};

// The filtered values of a pixel: its sums divided by the weights actually
// used, so that full coverage is exactly 1 whatever the filter; opacity and
// alpha are kept within [0, 1] against negative filter lobes.
inline void resolve_pixel(const PixelSample &p, Color &color, Color &opacity, float &alpha)
{
    if (!(p.weight > 1e-10f || p.weight < -1e-10f)) {
        color = opacity = Color();
        alpha = 0;
        return;
    }
    color = p.color / p.weight;
    opacity = p.opacity / p.weight;
    alpha = p.alpha / p.weight;
    for (int c = 0; c < 3; ++c) opacity[c] = opacity[c] < 0 ? 0.0f : opacity[c] > 1 ? 1.0f : opacity[c];
    alpha = alpha < 0 ? 0.0f : alpha > 1 ? 1.0f : alpha;
}

// The pixels of one image row.
class SampleBuffer {
public:
    explicit SampleBuffer(int count = 0) : count_(count) {}
    // Makes the cleared pixels when missing; returns them.
    PixelSample *allocate()
    {
        if (pixels_.empty() && count_ > 0) pixels_.assign(size_t(count_), PixelSample());
        return pixels_.data();
    }
    // The pixels, or null before the first allocate.
    PixelSample *pixels() { return pixels_.empty() ? nullptr : pixels_.data(); }
    const PixelSample *pixels() const { return pixels_.empty() ? nullptr : pixels_.data(); }
    bool allocated() const { return !pixels_.empty(); }
    int count() const { return count_; }
    // Frees the pixels (the row may be allocated again).
    void release() { std::vector<PixelSample>().swap(pixels_); }

private:
    int count_;
    std::vector<PixelSample> pixels_;
};
