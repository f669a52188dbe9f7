#include "shading/texture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/files.h"
#include "ri/renderer.h"
#include "ri_common/rierror.h"
#include "ri_common/searchpath.h"
#include "ri/tokens.h"
#include "sampling/sampling.h"
#include "shading_files/depthfile.h"
#include "shading_files/texfile.h"
#include "shading_files/tiffimage.h"
#include "shading/tilecache.h"

namespace {

// Largest tile of a texture file (bytes).
const double MAX_TILE_BYTES = 64.0 * 1024 * 1024;

Texture *texture_list = nullptr;
long memory_now = 0, memory_peak = 0;

// A wrap-mode word: the index of the mode it begins, -1 for none.
int wrap_word(const char *w, size_t n)
{
    static const char *const words[] = {"periodic", "clamp", "black"};
    if (n == 0) return -1;
    for (int i = 0; i < 3; ++i)
        if (n <= std::strlen(words[i]) && std::strncmp(w, words[i], n) == 0) return i;
    return -1;
}

// Reads n floats from text into out; false when fewer are there.
bool scan_floats(const char *&text, float *out, int n)
{
    for (int i = 0; i < n; ++i) {
        char *end = nullptr;
        out[i] = std::strtof(text, &end);
        if (end == text) return false;
        text = end;
    }
    return true;
}

// Skips blanks and one word.
void skip_word(const char *&text)
{
    while (*text == ' ' || *text == '\t' || *text == '\n') ++text;
    while (*text && *text != ' ' && *text != '\t' && *text != '\n') ++text;
}

// The two camera matrices of an old shadow description: a word, 16 floats,
// a word, 16 floats.
void parse_old_shadow(const char *text, float *screen, float *camera)
{
    skip_word(text);
    if (!scan_floats(text, screen, 16)) return;
    skip_word(text);
    scan_floats(text, camera, 16);
}

Options *render_options()
{
    return current_renderer ? &current_renderer->options : nullptr;
}

} // namespace

// ---- memory, verbosity and the list ----------------------------------------

void fill_channels(float *out, const TextureArgs &a, float value)
{
    for (int c = 0; c < a.channels; ++c) out[c] = value;
}

bool wrap_coordinate(float &v, int mode)
{
    if (v >= 0 && v <= 1) return true;
    if (mode == WRAP_PERIODIC) {
        v -= std::floor(v);
        return v >= 0 && v <= 1;
    }
    if (mode == WRAP_CLAMP && !std::isnan(v)) {
        v = v > 1 ? 1.0f : 0.0f;
        return true;
    }
    return false;
}

long texture_memory_now() { return memory_now; }
long texture_memory_peak() { return memory_peak; }

void count_texture_memory(long bytes)
{
    memory_now += bytes;
    if (memory_now > memory_peak) memory_peak = memory_now;
}

bool texture_verbose()
{
    const Options *o = render_options();
    return o && (o->verbosity & VERBOSE_VERBOSE);
}

Texture *first_texture()
{
    return texture_list;
}

bool texture_file_in_use(const char *path)
{
    for (Texture *t = texture_list; t; t = t->list_next)
        if (t->path && velk::same_file(t->path, path)) return true;
    return false;
}

Texture::Texture(const char *table_name) : SymbolEntry(table_name)
{
    list_next = texture_list;
    if (texture_list) texture_list->list_prev = this;
    texture_list = this;
}

Texture::~Texture()
{
    forget_texture_tiles(this);
    free_pyramid();
    count_texture_memory(-long(depth_map.size() * sizeof(float)));
    if (list_prev) list_prev->list_next = list_next;
    else texture_list = list_next;
    if (list_next) list_next->list_prev = list_prev;
    if (tif) TIFFClose(tif);
}

// ---- opening -------------------------------------------------------------------

void parse_wrap_modes(const char *text, int &swrap, int &twrap)
{
    if (!text) text = "";
    size_t n = std::strcspn(text, " ,");
    int s = wrap_word(text, n);
    if (s < 0) {
        swrap = twrap = WRAP_BLACK;
        return;
    }
    swrap = twrap = s;
    if (text[n] == ' ' || text[n] == ',') {
        const char *second = text + n + 1;
        int t = wrap_word(second, std::strcspn(second, " ,"));
        if (t >= 0) twrap = t;
    }
}

int Texture::open(const char *name, const char *search_path, bool pixels)
{
    std::string found;
    if (!name || !*name || !find_in_path(name, search_path, found)) {
        ri_error(RIE_NOFILE, RIE_ERROR, "Could not find texture file \"%s\"", name ? name : "");
        return 1;
    }
    path = NewToken(found.c_str());
    hash = hash_string(path, std::strlen(path), 0);
    if (texture_verbose()) std::printf("Using texture file %s\n", path);
    // A depth file (as the "zfile" and "shadow" displays write it) serves as
    // a shadow map without being made into one.
    DepthMap map;
    switch (zfile_read_map(path, map, false)) {
    case ZFILE_OK:
        use_depth_map(map);
        ready = true;
        return 0;
    case ZFILE_SHORT_HEADER:
    case ZFILE_NO_PIXELS:
    case ZFILE_ENDS_EARLY:
        ri_error(RIE_BADFILE, RIE_ERROR, "\"%s\": %s", path, "Depth file ends early or holds no pixels");
        return 1;
    default:
        break;   // not a depth file
    }
    TiffImageInfo info;
    if (!tiff_probe(path, info)) {
        ri_error(RIE_BADFILE, RIE_ERROR, "\"%s\": %s", path, tiff_error_text());
        return 1;
    }
    if (info.samples > MAX_TEXEL_SAMPLES) {
        ri_error(RIE_BADFILE, RIE_ERROR, "\"%s\": %s", path, "Too many samples per texel");
        return 1;
    }
    bool ok;
    if (info.tile_width) {
        ok = read_header();
    } else {
        // A shadow lookup never reads a picture: its pixels wait for a texture lookup.
        samples = info.samples;
        ok = pixels ? read_untiled() : true;
        if (ok && !pixels) {
            layout = PixelLayout{info.samples, info.bits, info.sampleformat == 3 ? 3 : 1};
            bits = info.bits;
            sampleformat = layout.sampleformat;
            bytes_per_texel = int(layout.bytes_per_pixel());
            int f = 1;
            while (f < (1 << (MAX_PYRAMID_LEVELS - 1)) && (f * 5 / 4 < info.width || f * 5 / 4 < info.height))
                f *= 2;
            pyramid_size = f;
            highest_level = 0;
            while ((1 << highest_level) < f) ++highest_level;
        }
    }
    ready = ok;
    return ok ? 0 : 1;
}

bool Texture::read_header()
{
    TIFF *t = tiff_open(path);
    if (!t) {
        ri_error(RIE_BADFILE, RIE_ERROR, "\"%s\": %s", path, tiff_error_text());
        return false;
    }
    uint16_t b = 1, s = 1, f = 1;
    TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &b);
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &s);
    if (!TIFFGetField(t, TIFFTAG_SAMPLEFORMAT, &f)) f = 1;
    bits = b;
    samples = s;
    sampleformat = f;
    swrap = twrap = WRAP_PERIODIC;

    char *text = nullptr;
    if (TIFFGetField(t, TIFFTAG_IMAGEDESCRIPTION, &text) && text) {
        if (!std::strncmp(text, "shadow", 6)) {
            if (std::strlen(text) > 7) parse_old_shadow(text + 7, world_to_screen, world_to_camera);
            shadow = true;
            swrap = twrap = WRAP_BLACK;
        } else if (!std::strncmp(text, "envlatl", 7)) {
            latlong = true;
            swrap = twrap = WRAP_PERIODIC;
        } else if (!std::strncmp(text, "envcube", 7)) {
            cubeface = true;
            swrap = twrap = WRAP_CLAMP;
        } else if (!std::strncmp(text, "texture", 7)) {
            parse_wrap_modes(std::strlen(text) > 8 ? text + 8 : "", swrap, twrap);
        } else {
            parse_wrap_modes(text, swrap, twrap);
        }
    }
    text = nullptr;
    if (TIFFGetField(t, TAG_TEXTURE_FORMAT, &text) && text) {
        if (!std::strcmp(text, TEXFMT_PLAIN)) {
            shadow = latlong = cubeface = false;
            char *wraps = nullptr;
            if (TIFFGetField(t, TAG_TEXTURE_WRAP_MODES, &wraps) && wraps)
                parse_wrap_modes(wraps, swrap, twrap);
            else
                swrap = twrap = WRAP_BLACK;
        } else if (!std::strcmp(text, TEXFMT_LATLONG)) {
            latlong = true;
        } else if (!std::strcmp(text, TEXFMT_CUBEFACE)) {
            cubeface = true;
        } else if (!std::strcmp(text, TEXFMT_SHADOW) || !std::strcmp(text, TEXFMT_MINMAX_SHADOW)) {
            shadow = true;
            float *m = nullptr;
            if (TIFFGetField(t, TAG_MATRIX_WORLD_TO_SCREEN, &m) && m) std::memcpy(world_to_screen, m, 64);
            m = nullptr;
            if (TIFFGetField(t, TAG_MATRIX_WORLD_TO_CAMERA, &m) && m) std::memcpy(world_to_camera, m, 64);
        }
    }
    // Depths are single floats; anything else cannot be a shadow map.
    if (shadow && !(bits == 32 && sampleformat == SAMPLEFORMAT_IEEEFP)) shadow = false;
    bytes_per_texel = bits / 8 * samples;
    layout = PixelLayout{samples, bits, sampleformat == SAMPLEFORMAT_IEEEFP ? 3 : 1};

    const bool verbose = texture_verbose();
    int next_tile = 0;
    do {
        auto level = std::make_unique<MipLevel>();
        MipLevel &L = *level;
        uint32_t w = 0, h = 0, tw = 0, tl = 0, fw = 0, fl = 0;
        uint16_t ls = 1, lb = 1, lf = 1, planar = PLANARCONFIG_CONTIG;
        TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &w);
        TIFFGetField(t, TIFFTAG_IMAGELENGTH, &h);
        TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &ls);
        TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &lb);
        if (!TIFFGetField(t, TIFFTAG_SAMPLEFORMAT, &lf)) lf = 1;
        TIFFGetFieldDefaulted(t, TIFFTAG_PLANARCONFIG, &planar);
        if (TIFFIsTiled(t)) {
            TIFFGetField(t, TIFFTAG_TILEWIDTH, &tw);
            TIFFGetField(t, TIFFTAG_TILELENGTH, &tl);
        }
        // Every level must be read with the first one's texel layout: a
        // directory that differs ends the chain.
        if (w < 1 || h < 1 || w > 1u << 30 || h > 1u << 30 || tw < 1 || tl < 1 || ls != samples ||
            lb != bits || lf != sampleformat || (planar != PLANARCONFIG_CONTIG && samples > 1) ||
            double(tw) * tl * bytes_per_texel > MAX_TILE_BYTES)
            break;
        L.texture = this;
        L.width = int(w);
        L.height = int(h);
        L.full_width = TIFFGetField(t, TAG_IMAGE_FULL_WIDTH, &fw) ? int(fw) : L.width;
        L.full_length = TIFFGetField(t, TAG_IMAGE_FULL_LENGTH, &fl) ? int(fl) : L.height;
        // Lookups stay inside the level, or inside a face's slot of a cube map.
        int room_w = cubeface ? L.width / 3 : L.width, room_h = cubeface ? L.height / 2 : L.height;
        L.full_width = std::max(1, std::min(L.full_width, room_w));
        L.full_length = std::max(1, std::min(L.full_length, room_h));
        L.tile_width = int(tw);
        L.tile_length = int(tl);
        L.tile_count = ((L.width + L.tile_width - 1) / L.tile_width) * ((L.height + L.tile_length - 1) / L.tile_length);
        L.first_tile = next_tile;
        next_tile += L.tile_count;
        L.directory = int(TIFFCurrentDirectory(t));
        L.samples = samples;
        L.sampleformat = sampleformat;
        L.swrap = swrap;
        L.twrap = twrap;
        float fov = 1.0f;
        if (!TIFFGetField(t, TAG_FIELD_OF_VIEW_COTAN, &fov)) fov = 1.0f;
        if (levels.empty()) aspect = fov;
        // Environment maps take their field of view in the face coordinates,
        // never as a stretch of the level.
        L.aspect = latlong || cubeface ? 1.0f : fov;
        if (verbose) std::printf("\t%u x %u ", w, h);
        levels.push_back(std::move(level));
    } while (TIFFReadDirectory(t));
    if (verbose) std::printf("\n");
    TIFFClose(t);
    if (levels.empty()) {
        ri_error(RIE_BADFILE, RIE_ERROR, "\"%s\": %s", path, "Not a usable texture file");
        return false;
    }
    tiled = true;
    return true;
}

void Texture::use_depth_map(DepthMap &map)
{
    depth_map = std::move(map.depths);
    count_texture_memory(long(depth_map.size() * sizeof(float)));
    std::memcpy(world_to_screen, map.world_to_screen, sizeof world_to_screen);
    std::memcpy(world_to_camera, map.world_to_camera, sizeof world_to_camera);
    shadow = true;
    swrap = twrap = WRAP_BLACK;
    samples = 1;
    bits = 32;
    sampleformat = SAMPLEFORMAT_IEEEFP;
    bytes_per_texel = 4;
    layout = PixelLayout{1, 32, 3};
    auto level = std::make_unique<MipLevel>();
    MipLevel &L = *level;
    L.texture = this;
    L.width = L.full_width = L.tile_width = map.width;
    L.height = L.full_length = L.tile_length = map.height;
    L.tile_count = 1;
    L.samples = samples;
    L.sampleformat = sampleformat;
    L.swrap = L.twrap = WRAP_BLACK;
    levels.push_back(std::move(level));
    tiled = true;
}

// ---- sampling ------------------------------------------------------------------

namespace {

// One stored sample as a float, as sample_to_unit has it, but with the given
// scale of 32-bit integers.
inline float stored_sample(const unsigned char *p, int bits, bool is_float, double int32_scale)
{
    if (bits == 8) return float(*p * (1.0 / 255.0));
    if (bits == 16) {
        uint16_t v;
        std::memcpy(&v, p, 2);
        return float(v * (1.0 / 65535.0));
    }
    if (is_float) {
        float v;
        std::memcpy(&v, p, 4);
        return v;
    }
    uint32_t v;
    std::memcpy(&v, p, 4);
    return float(v * int32_scale);
}

// How a texture's samples are stored; a texture of 32-bit integers scales
// them by 2^-32.
struct SampleCoding {
    int bits;
    bool is_float;
    double int32_scale;
    size_t bytes;

    SampleCoding(const PixelLayout &layout, int texture_bits)
        : is_float(layout.is_float()), bytes(layout.bytes_per_sample())
    {
        const bool wide = texture_bits == 32 && !is_float;
        bits = wide ? 32 : layout.bits;
        int32_scale = wide ? 1.0 / 4294967296.0 : 1.0 / 4294967295.0;
    }
};

// The value of each 8-bit sample, float(b * (1.0 / 255.0)).
struct ByteValues {
    float value[256] = {};
    constexpr ByteValues()
    {
        for (int b = 0; b < 256; ++b) value[b] = float(b * (1.0 / 255.0));
    }
};
constexpr ByteValues BYTE_VALUES;

// Samples first..end-1 of the texel at byte offset of a tile.
inline void read_samples(const TileCacheEntry &e, size_t offset, const SampleCoding &c, int first, int end,
                         float *out)
{
    if (e.empty_shadow) {
        for (int s = first; s < end; ++s) out[s] = 1e30f;
        return;
    }
    const unsigned char *p = e.buffer.get() + offset + size_t(first) * c.bytes;
    if (c.bits == 8) {
        // The common case, without a test per sample.
        for (int s = first; s < end; ++s, ++p) out[s] = BYTE_VALUES.value[*p];
        return;
    }
    for (int s = first; s < end; ++s, p += c.bytes) out[s] = stored_sample(p, c.bits, c.is_float, c.int32_scale);
}

} // namespace

bool Texture::get_texel(const MipLevel &L, int x, int y, float *out)
{
    if (!depth_map.empty()) {
        out[0] = depth_map[size_t(y) * size_t(L.width) + size_t(x)];
        return true;
    }
    const int tx = x / L.tile_width * L.tile_width, ty = y / L.tile_length * L.tile_length;
    TileCacheEntry *e = get_tile(L, tx, ty);
    if (!e) return false;
    texel_samples(L, *e, x - tx, y - ty, 0, samples, out);
    return true;
}

void Texture::texel_samples(const MipLevel &L, const TileCacheEntry &e, int x, int y, int first, int end,
                            float *out) const
{
    read_samples(e, (size_t(y) * L.tile_width + x) * bytes_per_texel, SampleCoding(layout, bits), first, end, out);
}

void Texture::sample_level(const MipLevel &L, float s, float t, const TextureArgs &a, float *out)
{
    if (std::isnan(s) || std::isnan(t)) return fill_channels(out, a, a.fill);
    if (L.aspect > 1) t = L.aspect * (t - 0.5f) + 0.5f;
    else if (L.aspect < 1) s = (s - 0.5f) / L.aspect + 0.5f;
    if (!wrap_coordinate(s, L.swrap) || !wrap_coordinate(t, L.twrap)) return fill_channels(out, a, a.fill);
    float x = s * float(L.full_width - 1), y = t * float(L.full_length - 1);
    int x0 = std::min(int(std::floor(x)), L.full_width - 1), y0 = std::min(int(std::floor(y)), L.full_length - 1);
    int x1 = std::min(x0 + 1, L.full_width - 1), y1 = std::min(y0 + 1, L.full_length - 1);
    float fx = x - float(x0), fy = y - float(y0);
    if (cubeface && a.face >= 0 && a.face < 6) {
        int dx = (a.face / 2) * (L.width / 3), dy = (a.face & 1) ? L.height / 2 : 0;
        x0 += dx, x1 += dx, y0 += dy, y1 += dy;
    }
    float t00[MAX_TEXEL_SAMPLES], t10[MAX_TEXEL_SAMPLES], t01[MAX_TEXEL_SAMPLES], t11[MAX_TEXEL_SAMPLES];
    if (!depth_map.empty()) {
        get_texel(L, x0, y0, t00), get_texel(L, x1, y0, t10), get_texel(L, x0, y1, t01), get_texel(L, x1, y1, t11);
    } else {
        // Only the channels asked for are read, and the four texels mostly
        // share a tile: it is fetched once for them (counted as the hits the
        // repeated fetches would be).
        const int first = std::min(std::max(a.first_channel, 0), samples);
        const int end = std::min(std::max(a.first_channel + a.channels, first), samples);
        const SampleCoding coding(layout, bits);
        TileCacheEntry *e = nullptr;
        int etx = -1, ety = -1;
        auto texel = [&](int px, int py, float *to) {
            const int tx = px / L.tile_width * L.tile_width, ty = py / L.tile_length * L.tile_length;
            if (e && tx == etx && ty == ety) {
                ++probes;
                ++hits;
            } else {
                e = get_tile(L, tx, ty);
                if (!e) return false;
                etx = tx, ety = ty;
            }
            read_samples(*e, (size_t(py - ty) * L.tile_width + (px - tx)) * bytes_per_texel, coding, first, end, to);
            return true;
        };
        const int tx = x0 / L.tile_width * L.tile_width, ty = y0 / L.tile_length * L.tile_length;
        if (x1 - tx < L.tile_width && y1 - ty < L.tile_length) {
            // All four in one tile, as is usual: one fetch, read in place.
            e = get_tile(L, tx, ty);
            if (!e) return fill_channels(out, a, a.fill);
            probes += 3;
            hits += 3;
            const size_t row = size_t(L.tile_width) * bytes_per_texel;
            const size_t at = size_t(y0 - ty) * row + size_t(x0 - tx) * bytes_per_texel;
            const size_t right = size_t(x1 - x0) * bytes_per_texel, down = size_t(y1 - y0) * row;
            if (coding.bits == 8 && !e->empty_shadow && a.first_channel >= 0 &&
                a.first_channel + a.channels <= samples) {
                // The common 8-bit texture: the four texels blended straight from the tile.
                const float *v = BYTE_VALUES.value;
                const unsigned char *p00 = e->buffer.get() + at, *p10 = p00 + right;
                const unsigned char *p01 = p00 + down, *p11 = p01 + right;
                for (int c = 0; c < a.channels; ++c) {
                    const int ch = a.first_channel + c;
                    out[c] = fy * (fx * v[p11[ch]] + (1 - fx) * v[p01[ch]]) +
                             (1 - fy) * ((1 - fx) * v[p00[ch]] + fx * v[p10[ch]]);
                }
                return;
            }
            read_samples(*e, at, coding, first, end, t00);
            read_samples(*e, at + right, coding, first, end, t10);
            read_samples(*e, at + down, coding, first, end, t01);
            read_samples(*e, at + down + right, coding, first, end, t11);
        } else if (!texel(x0, y0, t00) || !texel(x1, y0, t10) || !texel(x0, y1, t01) || !texel(x1, y1, t11)) {
            return fill_channels(out, a, a.fill);
        }
    }
    for (int c = 0; c < a.channels; ++c) {
        int ch = a.first_channel + c;
        out[c] = ch < samples ? fy * (fx * t11[ch] + (1 - fx) * t01[ch]) + (1 - fy) * ((1 - fx) * t00[ch] + fx * t10[ch])
                              : a.fill;
    }
}

void Texture::lookup(float *result, const float c[8], const TextureArgs &a, bool measure)
{
    float smin = std::min(std::min(c[0], c[2]), std::min(c[4], c[6]));
    float smax = std::max(std::max(c[0], c[2]), std::max(c[4], c[6]));
    float tmin = std::min(std::min(c[1], c[3]), std::min(c[5], c[7]));
    float tmax = std::max(std::max(c[1], c[3]), std::max(c[5], c[7]));
    float cs = (smin + smax) / 2, ct = (tmin + tmax) / 2;
    float ds = smax - smin, dt = tmax - tmin;
    if (measure) {
        last_ds = ds;
        last_dt = dt;
    } else {
        ds = last_ds;
        dt = last_dt;
    }
    if (!ready) return fill_channels(result, a, a.fill);
    if (!tiled) return lookup_pyramid(result, cs, ct, ds, dt, a);
    const int n = int(levels.size());
    int chosen = 0;
    for (int i = n - 1; i >= 0; --i)
        if (levels[size_t(i)]->full_width * ds >= 1 || levels[size_t(i)]->full_length * dt >= 1) {
            chosen = i;
            break;
        }
    const MipLevel &L = *levels[size_t(chosen)];
    sample_level(L, cs, ct, a, result);
    if (chosen < n - 1) {
        // The longer side of the footprint chose the level, so it weighs the
        // blend too: the answer then passes smoothly from level to level.
        float w = 2 - std::max(L.full_width * ds, L.full_length * dt);
        if (w < 0) w = 0;
        if (w < 1) {
            float smaller[MAX_TEXEL_SAMPLES];
            sample_level(*levels[size_t(chosen + 1)], cs, ct, a, smaller);
            for (int k = 0; k < a.channels; ++k) result[k] = w * result[k] + (1 - w) * smaller[k];
        }
    }
}

// ---- environment and shadow lookups ---------------------------------------------

int which_cubeface(const Point &d)
{
    float ax = std::fabs(d.x), ay = std::fabs(d.y), az = std::fabs(d.z);
    if (ax >= ay && ax >= az) return d.x >= 0 ? 0 : 1;
    if (ay >= az && ay >= ax) return d.y >= 0 ? 2 : 3;
    if (az >= ax && az >= ay) return d.z >= 0 ? 4 : 5;
    std::fprintf(stderr, "Failed which_cubeface: D = %g %g %g\n", d.x, d.y, d.z);
    return -1;
}

void cubeface_st(int face, const Point &d, float &s, float &t)
{
    float ax = std::fabs(d.x), ay = std::fabs(d.y), az = std::fabs(d.z);
    switch (face) {
    case 0: s = -d.z / (2 * ax), t = -d.y / (2 * ax); break;
    case 1: s = d.z / (2 * ax), t = -d.y / (2 * ax); break;
    case 2: s = d.x / (2 * ay), t = d.z / (2 * ay); break;
    case 3: s = d.x / (2 * ay), t = -d.z / (2 * ay); break;
    case 4: s = d.x / (2 * az), t = -d.y / (2 * az); break;
    case 5: s = -d.x / (2 * az), t = -d.y / (2 * az); break;
    default: s = t = 0; break;
    }
}

namespace {

// The place of direction d on a lat-long map.
void latlong_st(const Point &d, float &s, float &t)
{
    const double x = d.x, y = d.y, z = d.z;
    s = float((std::atan2(y, x) + M_PI) / (2 * M_PI));
    // Kept on the map at the poles, where rounding would wrap to the other one.
    t = float(std::min(1.0, std::max(0.0, 1 - (std::atan2(z, std::sqrt(x * x + y * y)) + M_PI / 2) / M_PI)));
}

} // namespace

void Texture::environment_lookup(float *result, const Point dirs[4], TextureArgs a, bool measure)
{
    Point n[4];
    for (int i = 0; i < 4; ++i) n[i] = normalize(dirs[i]);
    Point D = normalize(n[0] + n[1] + n[2] + n[3]);
    float corners[8];
    if (cubeface) {
        int face = which_cubeface(D);
        if (face < 0) return fill_channels(result, a, a.fill);
        a.face = face;
        float cs, ct;
        cubeface_st(face, D, cs, ct);
        cs = cs * aspect + 0.5f;
        ct = ct * aspect + 0.5f;
        for (int i = 0; i < 4; ++i) {
            float s, t;
            cubeface_st(face, n[i], s, t);
            float ds = a.swidth * (s * aspect + 0.5f - cs), dt = a.twidth * (t * aspect + 0.5f - ct);
            ds += ds > 0 ? a.sblur : ds < 0 ? -a.sblur : (i & 1) ? a.sblur : -a.sblur;
            dt += dt > 0 ? a.tblur : dt < 0 ? -a.tblur : ((i / 2) & 1) ? a.tblur : -a.tblur;
            corners[2 * i] = cs + ds;
            corners[2 * i + 1] = ct + dt;
        }
    } else {
        // Each corner from its own direction, about D's place on the map (the
        // short way round in s), widened by the blur as on cube faces.
        float cs, ct;
        latlong_st(D, cs, ct);
        for (int i = 0; i < 4; ++i) {
            float s, t;
            latlong_st(n[i], s, t);
            float ds = s - cs;
            ds -= std::floor(ds + 0.5f);
            ds *= a.swidth;
            float dt = a.twidth * (t - ct);
            ds += ds > 0 ? a.sblur : ds < 0 ? -a.sblur : (i & 1) ? a.sblur : -a.sblur;
            dt += dt > 0 ? a.tblur : dt < 0 ? -a.tblur : ((i / 2) & 1) ? a.tblur : -a.tblur;
            corners[2 * i] = cs + ds;
            corners[2 * i + 1] = ct + dt;
        }
    }
    lookup(result, corners, a, measure);
}

float Texture::shadow_lookup(const Point points[4], const TextureArgs &a)
{
    if (!tiled || !shadow || !ready || levels.empty()) return 1.0f;
    Point p[4], centre(0, 0, 0);
    const float *m = world_to_screen;
    for (int i = 0; i < 4; ++i) {
        float cam[3];
        // A point behind the eye of a perspective map is outside it: lit.
        const float *q = points[i].data();
        if (!(q[0] * m[3] + q[1] * m[7] + q[2] * m[11] + m[15] > 0)) return 0.0f;
        point_times_matrix(points[i].data(), world_to_screen, p[i].data());
        point_times_matrix(points[i].data(), world_to_camera, cam);
        p[i].z = cam[2];
        centre = centre + p[i];
    }
    centre = centre * 0.25f;
    // Half the extent of the region on the map, whichever way it is turned.
    float xmin = p[0].x, xmax = p[0].x, ymin = p[0].y, ymax = p[0].y;
    for (int i = 1; i < 4; ++i) {
        xmin = std::min(xmin, p[i].x), xmax = std::max(xmax, p[i].x);
        ymin = std::min(ymin, p[i].y), ymax = std::max(ymax, p[i].y);
    }
    float sw = a.swidth * (xmax - xmin) / 2 + a.sblur;
    float tw = a.twidth * (ymax - ymin) / 2 + a.tblur;
    const int n = a.samples < 1 ? 1 : a.samples;
    const MipLevel &L = *levels[0];
    TextureArgs depth_args = a;
    depth_args.first_channel = 0;
    depth_args.channels = 1;
    depth_args.fill = 1e30f;
    int shadowed = 0;
    for (int i = 0; i < n; ++i) {
        float jx, jy;
        stratified_sample_2d(i, n, 0, jx, jy);
        float s = (centre.x + 1) / 2 + 2 * sw * (jx - 0.5f);
        float t = 1 - ((centre.y + 1) / 2 + 2 * tw * (jy - 0.5f));
        if (!(s >= 0 && s < 1 && t >= 0 && t < 1)) continue;
        float depth;
        sample_level(L, s, t, depth_args, &depth);
        if (centre.z - a.bias > depth) ++shadowed;
    }
    return float(shadowed) / float(n);
}
