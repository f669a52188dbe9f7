// The filtered samples of the image rows while a frame is rendered: one
// buffer per row, made when the first sample touches the row and released
// once the row has been written out.
#pragma once
#include <vector>

#include "ri/vecmath.h"

// Depth of a pixel that no sample has hit yet.
const float PIXEL_NO_DEPTH = 1e30f;

// The accumulated values of one pixel.
struct PixelSample {
    Color color;
    Color opacity;
    float alpha = 0;
    float depth = PIXEL_NO_DEPTH;
};

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
