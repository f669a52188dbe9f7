// Resampling of in-memory pictures for texture making and for the in-memory
// pyramids of untiled textures: sizes to powers of two, linear
// interpolation and 2 x 2 reduction, for 8-, 16- and 32-bit unsigned and
// 32-bit float samples.
#pragma once
#include <cstddef>
#include <vector>

// How the samples of a packed picture are stored.
struct PixelLayout {
    int samples = 1;       // samples per pixel
    int bits = 8;          // bits per sample: 8, 16 or 32
    int sampleformat = 1;  // 1 unsigned integer, 3 IEEE float

    size_t bytes_per_sample() const { return size_t(bits / 8); }
    size_t bytes_per_pixel() const { return bytes_per_sample() * size_t(samples); }
    bool is_float() const { return sampleformat == 3; }
};

// How resize_to_power_of_two chooses the new sides.
enum ResizeMode { RESIZE_UP, RESIZE_DOWN, RESIZE_ROUND };

// Largest side a resized picture may have.
const int MAX_RESIZED_SIDE = 1 << 28;

// The new length of one side: down gives 16 up to 32, else the largest power of
// two strictly below; up and round the smallest power of two at least the
// side and at least 16. 0 when the result would exceed MAX_RESIZED_SIDE.
int resized_side(int side, ResizeMode mode);

// A sample as a float in [0, 1] for integers (x 1/255, 1/65535, 1/4294967295),
// as stored for floats; and back, rounded to the nearest integer and kept in
// the type's range.
float sample_to_unit(const unsigned char *p, const PixelLayout &layout);
void unit_to_sample(double v, unsigned char *p, const PixelLayout &layout);

// Resamples a w x h picture to nw x nh in two linear passes (rows, then
// columns); throws std::bad_alloc when memory runs out.
std::vector<unsigned char> resample_image(const unsigned char *image, int w, int h, int nw, int nh,
                                          const PixelLayout &layout);

// Resizes image in place to the sides chosen by mode; unchanged when they are
// the sizes it has. False (image untouched) when a side would be too large.
bool resize_to_power_of_two(std::vector<unsigned char> &image, int &width, int &height,
                            const PixelLayout &layout, ResizeMode mode);

// Halves a width x height picture in place: each new pixel the mean of a 2 x 2
// block (integers truncated), rows packed at the new width.
void reduce_level_2x2(unsigned char *image, int width, int height, const PixelLayout &layout);
