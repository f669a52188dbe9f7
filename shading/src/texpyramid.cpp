// The in-memory pyramid of a scanline picture used as a texture: the top level
// is the picture resampled to a power of two, lower levels are made on demand
// by 2 x 2 means, and levels of 64 x 64 and up that have not been used for a
// while go when texture memory runs over its limit.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "ri/renderer.h"
#include "ri_common/rierror.h"
#include "shading/shadehit.h"
#include "shading/texture.h"
#include "shading_files/tiffimage.h"

namespace {

const long DEFAULT_TEXTURE_MEMORY = 10485760;
// Pyramid levels below this index are never released.
const int FIRST_RELEASABLE_LEVEL = 6;
// Largest top level of a pyramid (bytes): a long thin picture asks for a
// square as wide as it is long.
// Most texels the top level may hold per texel of the picture.
const double PYRAMID_GROWTH = 16;
const double MAX_PYRAMID_BYTES = 2.0 * 1024 * 1024 * 1024;

// A level of size `size` with a wrap column and row: the packed image with
// its first column repeated at the right and its first row at the bottom.
std::vector<unsigned char> add_wrap_border(const unsigned char *packed, int size, size_t bpp)
{
    const size_t stride = size_t(size + 1) * bpp;
    std::vector<unsigned char> out(stride * size_t(size + 1));
    for (int y = 0; y <= size; ++y) {
        const unsigned char *src = packed + size_t(y % size) * size * bpp;
        unsigned char *dst = out.data() + size_t(y) * stride;
        std::memcpy(dst, src, size_t(size) * bpp);
        std::memcpy(dst + size_t(size) * bpp, src, bpp);
    }
    return out;
}

} // namespace

bool Texture::read_untiled()
{
    TiffImageInfo info;
    std::vector<unsigned char> pixels;
    if (!tiff_read_image(path, info, pixels)) {
        ri_error(RIE_BADFILE, RIE_ERROR, "\"%s\": %s", path, tiff_error_text());
        return false;
    }
    const PixelLayout read{info.samples, info.bits, info.sampleformat == SAMPLEFORMAT_IEEEFP ? 3 : 1};
    // The smallest power of two whose five quarters cover the picture; the
    // level table bounds it.
    int f = 1, n = 0;
    while (n < MAX_PYRAMID_LEVELS - 1 && (f * 5 / 4 < info.width || f * 5 / 4 < info.height)) f *= 2, ++n;
    // A long thin picture would ask for a square as wide as it is long: the top
    // level is kept within a few times the picture's own texel count.
    const int covering = f;
    while (f > 16 && double(f) * double(f) > PYRAMID_GROWTH * double(info.width) * double(info.height)) f /= 2, --n;
    if (f != covering && !reported_reduction) {
        reported_reduction = true;
        ri_error(RIE_LIMIT, RIE_WARNING, "\"%s\": %d x %d picture kept at %d x %d texels; make it with tavrel for "
                 "full resolution", path, info.width, info.height, f, f);
    }
    if (double(f + 1) * double(f + 1) * double(read.bytes_per_pixel()) > MAX_PYRAMID_BYTES) {
        ri_error(RIE_BADFILE, RIE_ERROR, "\"%s\": %s", path, "Picture too large for a texture");
        return false;
    }
    // Read again after a release: levels made from a picture of another
    // shape or layout cannot be mixed with the new ones.
    if (n != highest_level || read.samples != layout.samples || read.bits != layout.bits ||
        read.sampleformat != layout.sampleformat)
        free_pyramid();
    layout = read;
    samples = info.samples;
    bits = info.bits;
    sampleformat = layout.sampleformat;
    bytes_per_texel = int(layout.bytes_per_pixel());
    try {
        std::vector<unsigned char> top = info.width == f && info.height == f
                                             ? std::move(pixels)
                                             : resample_image(pixels.data(), info.width, info.height, f, f, layout);
        pixels = std::vector<unsigned char>();
        pyramid[n] = add_wrap_border(top.data(), f, layout.bytes_per_pixel());
    } catch (const std::bad_alloc &) {
        ri_error(RIE_NOMEM, RIE_ERROR, "\"%s\": %s", path, "Out of memory for the texture");
        return false;
    }
    pyramid_size = f;
    highest_level = n;
    level_stamp[n] = shade_index_counter();
    long bytes = long(pyramid[n].size());
    pyramid_memory += bytes;
    count_texture_memory(bytes);
    return true;
}

void Texture::free_pyramid()
{
    for (std::vector<unsigned char> &level : pyramid) level = std::vector<unsigned char>();
    count_texture_memory(-pyramid_memory);
    pyramid_memory = 0;
}

bool Texture::build_level(int n)
{
    int m = n + 1;
    while (m <= highest_level && pyramid[m].empty()) ++m;
    if (m > highest_level || n == highest_level) {
        // The top was released: read the picture again.
        if (!path || !read_untiled()) return false;
        m = highest_level;
        if (n == highest_level) return true;
    }
    const size_t bpp = layout.bytes_per_pixel();
    try {
        for (int k = m - 1; k >= n; --k) {
            const int big = 1 << (k + 1), size = 1 << k;
            std::vector<unsigned char> packed(size_t(big) * big * bpp);
            for (int y = 0; y < big; ++y)
                std::memcpy(packed.data() + size_t(y) * big * bpp,
                            pyramid[k + 1].data() + size_t(y) * (big + 1) * bpp, size_t(big) * bpp);
            reduce_level_2x2(packed.data(), big, big, layout);
            pyramid[k] = add_wrap_border(packed.data(), size, bpp);
            level_stamp[k] = shade_index_counter();
            long bytes = long(pyramid[k].size());
            pyramid_memory += bytes;
            count_texture_memory(bytes);
        }
    } catch (const std::bad_alloc &) {
        // The lookup takes the fill; the levels made so far stay.
        return false;
    }
    return true;
}

void Texture::sample_pyramid(int n, float s, float t, const TextureArgs &a, float *out)
{
    if (std::isnan(s) || std::isnan(t)) return fill_channels(out, a, a.fill);
    // Black outside the picture is black, whatever the fill.
    if (!wrap_coordinate(s, swrap) || !wrap_coordinate(t, twrap)) return fill_channels(out, a, 0.0f);
    ++probes;
    if (pyramid[n].empty()) {
        ++misses;
        if (!build_level(n)) return fill_channels(out, a, a.fill);
        release_texture_memory();
        if (pyramid[n].empty()) return fill_channels(out, a, a.fill);
    } else {
        ++hits;
    }
    level_stamp[n] = level_stamp[highest_level] = shade_index_counter();
    const int size = 1 << n;
    float x = s * float(size - 1), y = t * float(size - 1);
    int x0 = std::min(int(std::floor(x)), size - 1), y0 = std::min(int(std::floor(y)), size - 1);
    float fx = x - float(x0), fy = y - float(y0);
    const size_t bpp = layout.bytes_per_pixel(), bps = layout.bytes_per_sample();
    const size_t stride = size_t(size + 1) * bpp;
    const unsigned char *row0 = pyramid[n].data() + size_t(y0) * stride, *row1 = row0 + stride;
    auto texel = [&](const unsigned char *row, int x, int ch) {
        const unsigned char *p = row + size_t(x) * bpp + size_t(ch) * bps;
        if (layout.bits == 32 && !layout.is_float()) {
            uint32_t v;
            std::memcpy(&v, p, 4);
            return float(v * (1.0 / 4294967296.0));
        }
        return sample_to_unit(p, layout);
    };
    for (int c = 0; c < a.channels; ++c) {
        int ch = a.first_channel + c;
        if (ch >= samples) {
            out[c] = a.fill;
            continue;
        }
        out[c] = fy * (fx * texel(row1, x0 + 1, ch) + (1 - fx) * texel(row1, x0, ch)) +
                 (1 - fy) * ((1 - fx) * texel(row0, x0, ch) + fx * texel(row0, x0 + 1, ch));
    }
}

void Texture::lookup_pyramid(float *result, float cs, float ct, float ds, float dt, const TextureArgs &a)
{
    if (highest_level < 0) return fill_channels(result, a, a.fill);
    const int H = highest_level;
    // The longer side of the footprint: a long thin one must not alias along its length.
    float m = std::max(std::fabs(ds), std::fabs(dt));
    int n = H;
    float u = float(1 << H);
    while (n > 0 && m * u > 1) --n, u /= 2;
    sample_pyramid(n, cs, ct, a, result);
    if (n == H) return;
    float A = 2 * u * m - 1;
    A = A < 0 ? 0 : A > 1 ? 1 : A;
    float coarse[MAX_TEXEL_SAMPLES];
    sample_pyramid(n + 1, cs, ct, a, coarse);
    for (int k = 0; k < a.channels; ++k) result[k] = A * result[k] + (1 - A) * coarse[k];
}

void release_texture_memory()
{
    const Options *o = current_renderer ? &current_renderer->options : nullptr;
    const long limit = o ? o->texturememory : DEFAULT_TEXTURE_MEMORY;
    // Samples of one row of pixels.
    const long K = o ? long(o->xres) * o->xsamples * o->ysamples : 0;
    const long now = shade_index_counter();
    while (texture_memory_now() > limit) {
        Texture *oldest = nullptr;
        int oldest_level = -1;
        for (Texture *t = first_texture(); t; t = t->list_next)
            for (int n = FIRST_RELEASABLE_LEVEL; n <= t->highest_level; ++n) {
                if (t->pyramid[n].empty()) continue;
                long stamp = t->level_stamp[n];
                long age_limit = now - (n == t->highest_level ? 32 : 4) * K;
                if (stamp >= age_limit) continue;
                if (!oldest || stamp < oldest->level_stamp[oldest_level]) oldest = t, oldest_level = n;
            }
        if (!oldest) break;
        long bytes = long(oldest->pyramid[oldest_level].size());
        oldest->pyramid[oldest_level] = std::vector<unsigned char>();
        oldest->pyramid_memory -= bytes;
        count_texture_memory(-bytes);
    }
}
