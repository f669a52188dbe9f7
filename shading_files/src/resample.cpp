#include "shading_files/resample.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace {

const double U8_MAX = 255.0, U16_MAX = 65535.0, U32_MAX = 4294967295.0;

double type_max(const PixelLayout &layout)
{
    return layout.bits == 8 ? U8_MAX : layout.bits == 16 ? U16_MAX : U32_MAX;
}

// The 2 x 2 mean of one sample type, written in place (each destination
// lies at or before every source still to be read); integers sum wide and
// truncate, floats take a quarter of the sum.
template <class T>
void halve(unsigned char *image, int width, int height, int samples)
{
    using Sum = std::conditional_t<std::is_floating_point_v<T>, float, uint64_t>;
    T *px = reinterpret_cast<T *>(image);
    const int nw = width / 2, nh = height / 2;
    const size_t row = size_t(width) * samples;
    for (int y = 0; y < nh; ++y)
        for (int x = 0; x < nw; ++x)
            for (int s = 0; s < samples; ++s) {
                size_t i = size_t(2 * y) * row + size_t(2 * x) * samples + s;
                Sum sum = Sum(px[i]) + Sum(px[i + samples]) + Sum(px[i + row]) + Sum(px[i + row + samples]);
                if constexpr (std::is_floating_point_v<T>)
                    px[(size_t(y) * nw + x) * samples + s] = sum * 0.25f;
                else
                    px[(size_t(y) * nw + x) * samples + s] = T(sum / 4);
            }
}

// Source indices and weight of output j of n from m inputs.
struct Tap {
    int i0, i1;
    float f;
};

std::vector<Tap> taps(int m, int n)
{
    std::vector<Tap> out(static_cast<size_t>(n));
    for (int j = 0; j < n; ++j) {
        double c = (j + 0.5) * m / n - 0.5;
        int i0 = c < 0 ? 0 : int(std::floor(c));
        if (i0 > m - 1) i0 = m - 1;
        int i1 = i0 + 1 < m ? i0 + 1 : m - 1;
        double f = c - i0;
        out[size_t(j)] = {i0, i1, float(f < 0 ? 0 : f > 1 ? 1 : f)};
    }
    return out;
}

} // namespace

int resized_side(int side, ResizeMode mode)
{
    long long p = 16;
    if (mode == RESIZE_DOWN) {
        if (side <= 32) return 16;
        while (p * 2 < side) p *= 2;
    } else {
        while (p < side) p *= 2;
    }
    return p > MAX_RESIZED_SIDE ? 0 : int(p);
}

float sample_to_unit(const unsigned char *p, const PixelLayout &layout)
{
    if (layout.bits == 8) return float(*p * (1.0 / U8_MAX));
    if (layout.bits == 16) {
        uint16_t v;
        std::memcpy(&v, p, 2);
        return float(v * (1.0 / U16_MAX));
    }
    if (layout.is_float()) {
        float v;
        std::memcpy(&v, p, 4);
        return v;
    }
    uint32_t v;
    std::memcpy(&v, p, 4);
    return float(v * (1.0 / U32_MAX));
}

void unit_to_sample(double v, unsigned char *p, const PixelLayout &layout)
{
    if (layout.is_float() && layout.bits == 32) {
        float f = float(v);
        std::memcpy(p, &f, 4);
        return;
    }
    double max = type_max(layout);
    // Rounded: a float round trip may land a hair below the stored integer.
    double x = std::floor(v * max + 0.5);
    if (!(x > 0)) x = 0;
    if (x > max) x = max;
    if (layout.bits == 8) {
        *p = uint8_t(x);
    } else if (layout.bits == 16) {
        uint16_t s = uint16_t(x);
        std::memcpy(p, &s, 2);
    } else {
        uint32_t s = uint32_t(x);
        std::memcpy(p, &s, 4);
    }
}

namespace {

// resample_image with the passes the other way round: a long picture made
// short never holds its full length at the new width.
std::vector<unsigned char> resample_columns_first(const unsigned char *image, int w, int h, int nw, int nh,
                                                  const PixelLayout &layout)
{
    const int S = layout.samples;
    const size_t bps = layout.bytes_per_sample(), bpp = layout.bytes_per_pixel(), row = size_t(w) * S;
    std::vector<float> cols(row * size_t(nh));
    std::vector<Tap> down = taps(h, nh);
    for (int j = 0; j < nh; ++j) {
        const Tap &t = down[size_t(j)];
        const unsigned char *r0 = image + size_t(t.i0) * w * bpp, *r1 = image + size_t(t.i1) * w * bpp;
        float *dst = cols.data() + size_t(j) * row;
        for (size_t k = 0; k < row; ++k)
            dst[k] = (1 - t.f) * sample_to_unit(r0 + k * bps, layout) + t.f * sample_to_unit(r1 + k * bps, layout);
    }
    std::vector<unsigned char> out(size_t(nw) * size_t(nh) * bpp);
    std::vector<Tap> across = taps(w, nw);
    for (int y = 0; y < nh; ++y) {
        const float *src = cols.data() + size_t(y) * row;
        unsigned char *dst = out.data() + size_t(y) * nw * bpp;
        for (int j = 0; j < nw; ++j) {
            const Tap &t = across[size_t(j)];
            for (int s = 0; s < S; ++s)
                unit_to_sample((1 - t.f) * src[size_t(t.i0) * S + s] + t.f * src[size_t(t.i1) * S + s],
                               dst + size_t(j) * bpp + size_t(s) * bps, layout);
        }
    }
    return out;
}

} // namespace

std::vector<unsigned char> resample_image(const unsigned char *image, int w, int h, int nw, int nh,
                                          const PixelLayout &layout)
{
    const int S = layout.samples;
    const size_t bps = layout.bytes_per_sample(), bpp = layout.bytes_per_pixel();
    if (size_t(nw) * size_t(h) > size_t(w) * size_t(nh)) return resample_columns_first(image, w, h, nw, nh, layout);
    // Rows to the new width, as floats.
    std::vector<float> rows(size_t(nw) * size_t(h) * size_t(S));
    std::vector<Tap> across = taps(w, nw);
    for (int y = 0; y < h; ++y) {
        const unsigned char *src = image + size_t(y) * w * bpp;
        float *dst = rows.data() + size_t(y) * nw * S;
        for (int j = 0; j < nw; ++j) {
            const Tap &t = across[size_t(j)];
            for (int s = 0; s < S; ++s) {
                float a = sample_to_unit(src + size_t(t.i0) * bpp + s * bps, layout);
                float b = sample_to_unit(src + size_t(t.i1) * bpp + s * bps, layout);
                dst[size_t(j) * S + s] = (1 - t.f) * a + t.f * b;
            }
        }
    }
    // Columns to the new height, in the picture's sample type.
    std::vector<unsigned char> out(size_t(nw) * size_t(nh) * bpp);
    std::vector<Tap> down = taps(h, nh);
    for (int j = 0; j < nh; ++j) {
        const Tap &t = down[size_t(j)];
        const float *r0 = rows.data() + size_t(t.i0) * nw * S;
        const float *r1 = rows.data() + size_t(t.i1) * nw * S;
        unsigned char *dst = out.data() + size_t(j) * nw * bpp;
        for (size_t k = 0; k < size_t(nw) * S; ++k)
            unit_to_sample((1 - t.f) * r0[k] + t.f * r1[k], dst + k * bps, layout);
    }
    return out;
}

bool resize_to_power_of_two(std::vector<unsigned char> &image, int &width, int &height,
                            const PixelLayout &layout, ResizeMode mode)
{
    int nw = resized_side(width, mode), nh = resized_side(height, mode);
    if (nw == 0 || nh == 0) return false;
    if (nw == width && nh == height) return true;
    image = resample_image(image.data(), width, height, nw, nh, layout);
    width = nw;
    height = nh;
    return true;
}

void reduce_level_2x2(unsigned char *image, int width, int height, const PixelLayout &layout)
{
    if (layout.bits == 8)
        halve<uint8_t>(image, width, height, layout.samples);
    else if (layout.bits == 16)
        halve<uint16_t>(image, width, height, layout.samples);
    else if (layout.is_float())
        halve<float>(image, width, height, layout.samples);
    else
        halve<uint32_t>(image, width, height, layout.samples);
}
