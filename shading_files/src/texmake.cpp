#include "shading_files/texmake.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "platform/files.h"
#include "ri_common/declparse.h"
#include "ri_common/rierror.h"
#include "shading_files/depthfile.h"
#include "shading_files/texfile.h"
#include "shading_files/tiffimage.h"

namespace {

const char *text_or_empty(const char *s)
{
    return s ? s : "";
}

// A picture read whole, with its description.
struct Picture {
    TiffImageInfo info;
    PixelLayout layout;
    std::vector<unsigned char> pixels;
};

// Reads a picture; reports the reader's error (code 4) when it cannot.
bool read_picture(const char *path, Picture &pic)
{
    if (!tiff_read_image(path, pic.info, pic.pixels)) {
        // A file that is there but is not a TIFF file is named.
        if (tiff_error_refused())
            ri_error(RIE_BADFILE, RIE_ERROR, "\"%s\" %s", text_or_empty(path), text_or_empty(tiff_error_text()));
        else
            ri_error(RIE_BADFILE, RIE_ERROR, "%s", text_or_empty(tiff_error_text()));
        return false;
    }
    pic.layout.samples = pic.info.samples;
    pic.layout.bits = pic.info.bits;
    pic.layout.sampleformat = pic.info.sampleformat == SAMPLEFORMAT_IEEEFP ? 3 : 1;
    return true;
}

bool resize_picture(Picture &pic, ResizeMode mode, const char *name)
{
    if (resize_to_power_of_two(pic.pixels, pic.info.width, pic.info.height, pic.layout, mode)) return true;
    ri_error(RIE_LIMIT, RIE_ERROR, "Picture \"%s\" is too large for a texture", text_or_empty(name));
    return false;
}

// True (reported) when the output is one of the inputs, by whatever name,
// or a file still being read (the RIB that asks for it): the made file would
// take the place of something it was made from.
bool output_among_inputs(const char *request, const char *texturename, std::initializer_list<const char *> inputs)
{
    if (!texturename || !*texturename) return false;
    bool among = velk::open_for_reading_here(texturename);
    for (const char *in : inputs)
        among = among || (in && (std::strcmp(in, texturename) == 0 || velk::same_file(in, texturename)));
    if (among) ri_error(RIE_CONSISTENCY, RIE_ERROR, "%s: the output \"%s\" is also an input", request, texturename);
    return among;
}

// A texture file being made: written to a temporary file beside the target
// and renamed over it only once complete, so that a failed making leaves the
// target as it was.
class OutputTexture {
public:
    // Reports when the file cannot be created (tiff() is then null).
    explicit OutputTexture(const char *texturename) : target_(text_or_empty(texturename))
    {
        if (file_.open(target_)) {
            tif_ = TIFFOpen(file_.path().c_str(), "w");
            if (!tif_) file_.discard();
        }
        if (!tif_) ri_error(RIE_BADFILE, RIE_ERROR, "Could not open \"%s\" for writing", target_.c_str());
    }
    // An unfinished file goes.
    ~OutputTexture()
    {
        if (tif_) TIFFClose(tif_);
    }
    OutputTexture(const OutputTexture &) = delete;
    OutputTexture &operator=(const OutputTexture &) = delete;

    TIFF *tiff() const { return tif_; }

    // Closes the file and puts it in place; a failed write is reported rather
    // than passed off as done.
    void finish(bool written)
    {
        written = written && TIFFFlush(tif_);
        TIFFClose(tif_);
        tif_ = nullptr;
        if (written && file_.commit()) return;
        file_.discard();
        ri_error(RIE_SYSTEM, RIE_ERROR, "Could not write \"%s\"", target_.c_str());
    }

private:
    std::string target_;
    velk::OutputFile file_;
    TIFF *tif_ = nullptr;
};

void report_no_memory(const char *texturename)
{
    ri_error(RIE_NOMEM, RIE_ERROR, "Out of memory making \"%s\"", text_or_empty(texturename));
}

// Plain textures and lat-long maps: read, resize, write the chain.
void make_mip_mapped(const char *picturename, const char *texturename, const char *format,
                     RtToken swrap, RtToken twrap, RtInt n, RtToken tokens[], RtPointer params[])
{
    const bool plain = std::strcmp(format, TEXFMT_PLAIN) == 0;
    if (output_among_inputs(plain ? "MakeTexture" : "MakeLatLongEnvironment", texturename, {picturename})) return;
    try {
        Picture pic;
        if (!read_picture(picturename, pic)) return;
        float aspect = float(pic.info.width) / float(pic.info.height);
        ResizeMode mode = RESIZE_UP;
        for (int i = 0; plain && i < n; ++i) {
            // "resize" plain or inline-declared, whose value is a string.
            ParameterName p = parameter_name(tokens ? tokens[i] : nullptr);
            if (!params || !params[i] || !p.name || std::strcmp(p.name, "resize") != 0 ||
                (p.type != DECL_UNKNOWN && p.type != DECL_STRING))
                continue;
            const char *v = *static_cast<RtString *>(params[i]);
            if (!v) continue;
            if (!std::strcmp(v, "up")) {
                mode = RESIZE_UP;
            } else if (!std::strcmp(v, "up-")) {
                mode = RESIZE_UP, aspect = 1.0f;
            } else if (!std::strcmp(v, "down") || !std::strcmp(v, "down-")) {
                mode = RESIZE_DOWN, aspect = 1.0f;
            } else if (!std::strcmp(v, "round") || !std::strcmp(v, "round-")) {
                mode = RESIZE_ROUND, aspect = 1.0f;
            }
        }
        if (!resize_picture(pic, mode, picturename)) return;
        OutputTexture out(texturename);
        if (!out.tiff()) return;
        std::string wraps = plain ? texture_wrap_text(swrap, twrap) : std::string();
        bool ok = write_mip_levels(out.tiff(), pic.info.width, pic.info.height, pic.layout, format,
                                   plain ? wraps.c_str() : nullptr, plain ? &aspect : nullptr, pic.pixels);
        out.finish(ok);
    } catch (const std::bad_alloc &) {
        report_no_memory(texturename);
    }
}

} // namespace

void texture_tile_size(int bits, int width, int height, int &tile_width, int &tile_length)
{
    if (bits == 8) {
        tile_width = tile_length = 64;
    } else if (bits == 16) {
        tile_width = width >= height ? 64 : 32;
        tile_length = width >= height ? 32 : 64;
    } else {
        tile_width = tile_length = 32;
    }
}

std::string texture_wrap_text(RtToken swrap, RtToken twrap)
{
    if (swrap == twrap) return text_or_empty(swrap);
    return std::string(text_or_empty(swrap)) + "," + text_or_empty(twrap);
}

bool write_texture_directory(TIFF *tif, const TextureDirectory &d, const unsigned char *image)
{
    const PixelLayout &L = d.layout;
    if (d.full_width > 0 && d.full_length > 0) {
        TIFFSetField(tif, TAG_IMAGE_FULL_WIDTH, uint32_t(d.full_width));
        TIFFSetField(tif, TAG_IMAGE_FULL_LENGTH, uint32_t(d.full_length));
    }
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(d.width));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(d.height));
    TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t(L.samples));
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t(L.bits));
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(tif, TIFFTAG_TILEWIDTH, uint32_t(d.tile_width));
    TIFFSetField(tif, TIFFTAG_TILELENGTH, uint32_t(d.tile_length));
    TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, uint16_t(L.is_float() ? SAMPLEFORMAT_IEEEFP : SAMPLEFORMAT_UINT));
    if (!L.is_float()) TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, uint32_t(d.tile_width) * uint32_t(d.tile_length));
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, L.samples < 2 ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB);
    if (d.format) TIFFSetField(tif, TAG_TEXTURE_FORMAT, d.format);
    if (d.wraps) TIFFSetField(tif, TAG_TEXTURE_WRAP_MODES, d.wraps);
    if (d.field_of_view) TIFFSetField(tif, TAG_FIELD_OF_VIEW_COTAN, double(*d.field_of_view));
    if (d.world_to_screen) TIFFSetField(tif, TAG_MATRIX_WORLD_TO_SCREEN, d.world_to_screen);
    if (d.world_to_camera) TIFFSetField(tif, TAG_MATRIX_WORLD_TO_CAMERA, d.world_to_camera);
    if (L.samples == 4) {
        uint16_t extra = EXTRASAMPLE_ASSOCALPHA;
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &extra);
    }

    const size_t bpp = L.bytes_per_pixel();
    const size_t tw = size_t(d.tile_width), tl = size_t(d.tile_length);
    std::vector<unsigned char> tile(tw * tl * bpp);
    for (size_t y = 0; y < size_t(d.height); y += tl)
        for (size_t x = 0; x < size_t(d.width); x += tw) {
            std::fill(tile.begin(), tile.end(), 0);
            size_t w = std::min(tw, size_t(d.width) - x), h = std::min(tl, size_t(d.height) - y);
            for (size_t r = 0; r < h; ++r)
                std::memcpy(tile.data() + r * tw * bpp, image + ((y + r) * size_t(d.width) + x) * bpp, w * bpp);
            if (TIFFWriteTile(tif, tile.data(), uint32_t(x), uint32_t(y), 0, 0) < 0) return false;
        }
    return TIFFWriteDirectory(tif) != 0;
}

bool write_mip_levels(TIFF *tif, int width, int height, const PixelLayout &layout, const char *format,
                      const char *wraps, const float *aspect, std::vector<unsigned char> &image)
{
    TextureDirectory d;
    d.layout = layout;
    d.format = format;
    d.wraps = wraps;
    d.field_of_view = aspect;
    texture_tile_size(layout.bits, width, height, d.tile_width, d.tile_length);
    while (width >= 2 && height >= 2) {
        d.width = width;
        d.height = height;
        if (!write_texture_directory(tif, d, image.data())) return false;
        reduce_level_2x2(image.data(), width, height, layout);
        width /= 2;
        height /= 2;
    }
    return true;
}

void pack_cube_faces(const std::vector<std::vector<unsigned char>> &faces, int size, int slot,
                     const PixelLayout &layout, unsigned char *mosaic)
{
    const size_t bpp = layout.bytes_per_pixel();
    const size_t row = size_t(3) * slot * bpp;
    std::memset(mosaic, 0, row * 2 * size_t(slot));
    for (size_t i = 0; i < 6 && i < faces.size(); ++i) {
        unsigned char *corner = mosaic + (i % 2) * size_t(slot) * row + (i / 2) * size_t(slot) * bpp;
        for (int y = 0; y < size; ++y)
            std::memcpy(corner + size_t(y) * row, faces[i].data() + size_t(y) * size * bpp, size_t(size) * bpp);
    }
}

bool write_cubeface_levels(TIFF *tif, std::vector<std::vector<unsigned char>> &faces, int size,
                           const PixelLayout &layout, float field_of_view)
{
    TextureDirectory d;
    d.layout = layout;
    d.format = TEXFMT_CUBEFACE;
    d.field_of_view = &field_of_view;
    // The mosaic is always wider than high.
    texture_tile_size(layout.bits, 3, 2, d.tile_width, d.tile_length);
    const int largest_slot = std::max(size, d.tile_length);
    std::vector<unsigned char> mosaic(size_t(6) * largest_slot * largest_slot * layout.bytes_per_pixel());
    for (; size > 1; size /= 2) {
        int slot = std::max(size, d.tile_length);
        pack_cube_faces(faces, size, slot, layout, mosaic.data());
        d.width = 3 * slot;
        d.height = 2 * slot;
        d.full_width = d.full_length = size;
        if (!write_texture_directory(tif, d, mosaic.data())) return false;
        for (std::vector<unsigned char> &f : faces) reduce_level_2x2(f.data(), size, size, layout);
    }
    return true;
}

RtVoid make_texture_file(RtString picturename, RtString texturename, RtToken swrap, RtToken twrap,
                      RtFilterFunc, RtFloat, RtFloat, RtInt n, RtToken tokens[], RtPointer params[])
{
    make_mip_mapped(picturename, texturename, TEXFMT_PLAIN, swrap, twrap, n, tokens, params);
}

RtVoid make_latlong_file(RtString picturename, RtString texturename, RtFilterFunc, RtFloat, RtFloat,
                                 RtInt, RtToken[], RtPointer[])
{
    make_mip_mapped(picturename, texturename, TEXFMT_LATLONG, nullptr, nullptr, 0, nullptr, nullptr);
}

RtVoid make_bump_file(RtString, RtString, RtToken, RtToken, RtFilterFunc, RtFloat, RtFloat, RtInt, RtToken[],
                   RtPointer[])
{
    ri_error(RIE_UNIMPLEMENT, RIE_WARNING, "MakeBump is not supported");
}

RtVoid make_cubeface_file(RtString px, RtString nx, RtString py, RtString ny, RtString pz, RtString nz,
                                  RtString texturename, RtFloat fov, RtFilterFunc, RtFloat, RtFloat, RtInt,
                                  RtToken[], RtPointer[])
{
    const float field_of_view = float(1.0 / std::tan(fov * M_PI / 360.0));
    if (output_among_inputs("MakeCubeFaceEnvironment", texturename, {px, nx, py, ny, pz, nz})) return;
    try {
        OutputTexture out(texturename);
        if (!out.tiff()) return;
        const char *names[6] = {px, nx, py, ny, pz, nz};
        std::vector<std::vector<unsigned char>> faces;
        PixelLayout layout;
        int size = 0;
        for (const char *name : names) {
            Picture pic;
            if (!read_picture(name, pic)) return;
            if (pic.info.width != pic.info.height) {
                ri_error(RIE_BADFILE, RIE_ERROR, "Environment map faces must be square");
                return;
            }
            if (!resize_picture(pic, RESIZE_UP, name)) return;
            if (faces.empty()) {
                size = pic.info.width;
                layout = pic.layout;
            } else if (pic.info.width != size) {
                ri_error(RIE_BADFILE, RIE_ERROR,
                         "MakeCubeFaceEnvironment: all faces must be of identical resolution");
                return;
            } else if (pic.layout.samples != layout.samples || pic.layout.bits != layout.bits ||
                       pic.layout.sampleformat != layout.sampleformat) {
                // The faces share one mosaic, so they must share one sample layout.
                ri_error(RIE_BADFILE, RIE_ERROR,
                         "MakeCubeFaceEnvironment: all faces must have the same samples");
                return;
            }
            faces.push_back(std::move(pic.pixels));
        }
        out.finish(write_cubeface_levels(out.tiff(), faces, size, layout, field_of_view));
    } catch (const std::bad_alloc &) {
        report_no_memory(texturename);
    }
}

RtVoid make_shadow_file(RtString picturename, RtString texturename, RtInt, RtToken[], RtPointer[])
{
    if (output_among_inputs("MakeShadow", texturename, {picturename})) return;
    try {
        DepthMap map;
        switch (zfile_read_map(picturename, map)) {
        case ZFILE_OK: break;
        case ZFILE_CANNOT_OPEN:
            ri_error(RIE_NOFILE, RIE_ERROR, "MakeShadow: couldn't open \"%s\"", text_or_empty(picturename));
            return;
        case ZFILE_NO_PIXELS:
            ri_error(RIE_BADFILE, RIE_ERROR, "MakeShadow: depth file \"%s\" holds no pixels (%d x %d)",
                     text_or_empty(picturename), map.width, map.height);
            return;
        case ZFILE_ENDS_EARLY:
            // A short file would make a map that shadows everything.
            ri_error(RIE_BADFILE, RIE_ERROR, "MakeShadow: depth file \"%s\" ends early", text_or_empty(picturename));
            return;
        default:
            ri_error(RIE_BADFILE, RIE_ERROR, "MakeShadow: couldn't open \"%s\"", text_or_empty(picturename));
            return;
        }
        OutputTexture out(texturename);
        if (!out.tiff()) return;
        TextureDirectory d;
        d.width = map.width;
        d.height = map.height;
        d.layout.samples = 1;
        d.layout.bits = 32;
        d.layout.sampleformat = 3;
        d.tile_width = d.tile_length = 32;
        d.format = TEXFMT_SHADOW;
        d.world_to_screen = map.world_to_screen;
        d.world_to_camera = map.world_to_camera;
        out.finish(write_texture_directory(out.tiff(), d, reinterpret_cast<const unsigned char *>(map.depths.data())));
    } catch (const std::bad_alloc &) {
        report_no_memory(texturename);
    }
}

const TextureMaking texture_file_making = {make_texture_file, make_bump_file, make_latlong_file,
                                           make_cubeface_file, make_shadow_file};
