#include "shading_files/tiffimage.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "platform/files.h"

namespace {

const char *last_error = nullptr;
bool last_refused = false;
std::string refusal_text;    // the text last_error points to after a refusal
std::string libtiff_reason;  // libtiff's first complaint while opening

void keep_reason(const char *, const char *fmt, va_list ap)
{
    if (!libtiff_reason.empty() || !fmt) return;
    char text[512];
    std::vsnprintf(text, sizeof text, fmt, ap);
    libtiff_reason = text;
    while (!libtiff_reason.empty() && (libtiff_reason.back() == '.' || libtiff_reason.back() == '\n'))
        libtiff_reason.pop_back();
}

// Largest image read or written whole (bytes).
const double MAX_IMAGE_BYTES = 1ull << 40;
// Most bytes of image one byte of compressed data is taken to give.
const double MAX_EXPANSION = 16384.0;

template <class T>
T field_defaulted(TIFF *tif, ttag_t tag, T fallback)
{
    T v = fallback;
    if (!TIFFGetFieldDefaulted(tif, tag, &v)) v = fallback;
    return v;
}

// Fills info from an open file; false (with the error text) when its bits per
// sample cannot be handled.
bool describe(TIFF *tif, TiffImageInfo &info)
{
    info = TiffImageInfo();
    info.width = int(field_defaulted<uint32_t>(tif, TIFFTAG_IMAGEWIDTH, 0));
    info.height = int(field_defaulted<uint32_t>(tif, TIFFTAG_IMAGELENGTH, 0));

    // PixarLog data is asked for as floats; libtiff then describes the
    // samples as 32-bit float and sizes its buffers after that.
    uint16_t compression = field_defaulted<uint16_t>(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    bool pixarlog = compression == COMPRESSION_PIXARFILM || compression == COMPRESSION_PIXARLOG;
    if (compression == COMPRESSION_PIXARLOG)
        TIFFSetField(tif, TIFFTAG_PIXARLOGDATAFMT, PIXARLOGDATAFMT_FLOAT);

    info.bits = field_defaulted<uint16_t>(tif, TIFFTAG_BITSPERSAMPLE, 1);
    info.samples = field_defaulted<uint16_t>(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    info.sampleformat = 1;
    uint16_t format = 1;
    if (TIFFGetField(tif, TIFFTAG_SAMPLEFORMAT, &format)) info.sampleformat = format;
    if (pixarlog) {
        info.bits = 32;
        info.sampleformat = SAMPLEFORMAT_IEEEFP;
    }
    if (TIFFIsTiled(tif)) {
        info.tile_width = int(field_defaulted<uint32_t>(tif, TIFFTAG_TILEWIDTH, 0));
        info.tile_length = int(field_defaulted<uint32_t>(tif, TIFFTAG_TILELENGTH, 0));
    }
    float pos = 0.0f;
    if (TIFFGetField(tif, TIFFTAG_XPOSITION, &pos)) info.xposition = pos;
    pos = 0.0f;
    if (TIFFGetField(tif, TIFFTAG_YPOSITION, &pos)) info.yposition = pos;

    if (info.bits != 8 && info.bits != 16 && info.bits != 32) {
        last_error = "Bad TIFF bitspersample";
        return false;
    }
    if (info.width < 1 || info.height < 1 || info.samples < 1 ||
        (TIFFIsTiled(tif) && (info.tile_width < 1 || info.tile_length < 1))) {
        last_error = "Bad TIFF image size";
        return false;
    }
    if (double(info.width) * info.height * info.samples * (info.bits / 8) > MAX_IMAGE_BYTES) {
        last_error = "TIFF image too large";
        return false;
    }
    return true;
}

// Whether the file holds the data of the image it describes: every strip or
// tile inside the file, and enough stored bytes for the image (one for one
// when uncompressed). Checked before the image buffer is made, so that a
// header claiming a vast image over a small or cut file costs nothing.
bool data_present(TIFF *tif, const TiffImageInfo &info)
{
    struct stat st;
    if (fstat(TIFFFileno(tif), &st) != 0) return true;   // cannot tell: the reads will
    const uint64_t file_size = uint64_t(st.st_size);
    const uint32_t count = TIFFIsTiled(tif) ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
    double stored = 0;
    for (uint32_t i = 0; i < count; ++i) {
        int err = 0;
        uint64_t offset = TIFFGetStrileOffsetWithErr(tif, i, &err);
        uint64_t bytes = err ? 0 : TIFFGetStrileByteCountWithErr(tif, i, &err);
        if (err || offset > file_size || bytes > file_size - offset) return false;
        stored += double(bytes);
    }
    uint16_t compression = field_defaulted<uint16_t>(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    return double(tiff_image_bytes(info)) <= stored * (compression == COMPRESSION_NONE ? 1.0 : MAX_EXPANSION);
}

// Reads a tiled image into pixels. With separate planes each tile holds one
// sample of its pixels, and the samples are interleaved here. Only a tile's
// rows inside the picture are decoded, and only when its stored bytes can
// hold them: a tile claimed far larger than the picture or the file costs
// no more than the picture.
bool read_tiles(TIFF *tif, const TiffImageInfo &info, bool planar, unsigned char *pixels)
{
    const size_t bps = size_t(info.bits / 8);
    const size_t pixel = bps * info.samples;
    const size_t tw = size_t(info.tile_width), tl = size_t(info.tile_length);
    const size_t tile_pixel = planar ? bps : pixel;
    const double row_bytes = double(tw) * double(tile_pixel);
    const uint16_t compression = field_defaulted<uint16_t>(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    const double expansion = compression == COMPRESSION_NONE ? 1.0 : MAX_EXPANSION;
    std::vector<unsigned char> tile;
    const int planes = planar ? info.samples : 1;
    for (int s = 0; s < planes; ++s)
        for (size_t y = 0; y < size_t(info.height); y += tl)
            for (size_t x = 0; x < size_t(info.width); x += tw) {
                size_t w = std::min(tw, size_t(info.width) - x);
                size_t h = std::min(tl, size_t(info.height) - y);
                const uint32_t index = TIFFComputeTile(tif, uint32_t(x), uint32_t(y), 0, uint16_t(s));
                int err = 0;
                const uint64_t stored = TIFFGetStrileByteCountWithErr(tif, index, &err);
                const double want = row_bytes * double(h);
                if (err || want > double(stored) * expansion || want > MAX_IMAGE_BYTES) {
                    last_error = "TIFF tile larger than the data stored for it";
                    return false;
                }
                if (tile.size() < size_t(want)) tile.resize(size_t(want));
                if (TIFFReadEncodedTile(tif, index, tile.data(), tmsize_t(want)) != tmsize_t(want)) return false;
                for (size_t r = 0; r < h; ++r) {
                    const unsigned char *src = tile.data() + r * tw * tile_pixel;
                    unsigned char *dst = pixels + ((y + r) * info.width + x) * pixel;
                    if (!planar) {
                        std::memcpy(dst, src, w * pixel);
                    } else {
                        for (size_t i = 0; i < w; ++i)
                            std::memcpy(dst + i * pixel + s * bps, src + i * bps, bps);
                    }
                }
            }
    return true;
}

bool read_scanlines(TIFF *tif, const TiffImageInfo &info, bool planar, unsigned char *pixels)
{
    const size_t bps = size_t(info.bits / 8);
    const size_t pixel = bps * info.samples;
    const size_t row_pixel = planar ? bps : pixel;
    const tmsize_t line_bytes = TIFFScanlineSize(tif);
    if (line_bytes < tmsize_t(size_t(info.width) * row_pixel)) return false;
    std::vector<unsigned char> line(static_cast<size_t>(line_bytes));
    const int planes = planar ? info.samples : 1;
    for (int s = 0; s < planes; ++s)
        for (uint32_t y = 0; y < uint32_t(info.height); ++y) {
            if (TIFFReadScanline(tif, line.data(), y, uint16_t(s)) < 0) return false;
            unsigned char *dst = pixels + size_t(y) * info.width * pixel;
            if (!planar) {
                std::memcpy(dst, line.data(), size_t(info.width) * pixel);
            } else {
                for (size_t i = 0; i < size_t(info.width); ++i)
                    std::memcpy(dst + i * pixel + s * bps, line.data() + i * bps, bps);
            }
        }
    return true;
}

bool write_tiles(TIFF *tif, const unsigned char *pixels, const TiffImageInfo &info)
{
    const size_t pixel = size_t(info.bits / 8) * info.samples;
    const size_t tw = size_t(info.tile_width), tl = size_t(info.tile_length);
    std::vector<unsigned char> tile(tw * tl * pixel);
    for (size_t y = 0; y < size_t(info.height); y += tl)
        for (size_t x = 0; x < size_t(info.width); x += tw) {
            std::fill(tile.begin(), tile.end(), 0);
            size_t w = std::min(tw, size_t(info.width) - x);
            size_t h = std::min(tl, size_t(info.height) - y);
            for (size_t r = 0; r < h; ++r)
                std::memcpy(tile.data() + r * tw * pixel,
                            pixels + ((y + r) * info.width + x) * pixel, w * pixel);
            if (TIFFWriteTile(tif, tile.data(), uint32_t(x), uint32_t(y), 0, 0) < 0) return false;
        }
    return true;
}

bool write_scanlines(TIFF *tif, const unsigned char *pixels, const TiffImageInfo &info)
{
    const size_t row = size_t(info.bits / 8) * info.samples * info.width;
    std::vector<unsigned char> line(row);   // libtiff may change the row it is given
    for (uint32_t y = 0; y < uint32_t(info.height); ++y) {
        std::memcpy(line.data(), pixels + y * row, row);
        if (TIFFWriteScanline(tif, line.data(), y, 0) < 0) return false;
    }
    return true;
}

} // namespace

const char *tiff_error_text()
{
    return last_error;
}

bool tiff_error_refused()
{
    return last_refused;
}

TIFF *tiff_open(const char *path)
{
    TIFFSetWarningHandler(nullptr);
    last_refused = false;
    libtiff_reason.clear();
    TIFFErrorHandler before = TIFFSetErrorHandler(keep_reason);
    TIFF *tif = path ? TIFFOpen(path, "r") : nullptr;
    TIFFSetErrorHandler(before);
    if (tif) return tif;
    struct stat st;
    if (!path || stat(path, &st) != 0) {
        last_error = "TIFF file not found";
        return nullptr;
    }
    last_refused = true;
    refusal_text = "exists but is not a TIFF texture (" +
                   (libtiff_reason.empty() ? std::string("libtiff gave no reason") : libtiff_reason) + ")";
    last_error = refusal_text.c_str();
    return nullptr;
}

size_t tiff_image_bytes(const TiffImageInfo &info)
{
    if (info.width < 1 || info.height < 1 || info.samples < 1 || info.bits < 8) return 0;
    return size_t(info.width) * size_t(info.height) * size_t(info.samples) * size_t(info.bits / 8);
}

TIFF *tiff_open_read(const char *path, TiffImageInfo &info)
{
    TIFF *tif = tiff_open(path);
    if (!tif) return nullptr;
    if (!describe(tif, info)) {
        TIFFClose(tif);
        return nullptr;
    }
    return tif;
}

bool tiff_probe(const char *path, TiffImageInfo &info)
{
    TIFF *tif = tiff_open_read(path, info);
    if (!tif) return false;
    TIFFClose(tif);
    return true;
}

bool tiff_read_image(const char *path, TiffImageInfo &info, std::vector<unsigned char> &pixels)
{
    TIFF *tif = tiff_open_read(path, info);
    if (!tif) return false;
    uint16_t planar_config = field_defaulted<uint16_t>(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    bool planar = planar_config == PLANARCONFIG_SEPARATE && info.samples > 1;
    if (!data_present(tif, info)) {
        TIFFClose(tif);
        pixels.clear();
        last_error = "TIFF file is cut short";
        return false;
    }
    bool ok = false;
    last_error = nullptr;
    try {
        pixels.assign(tiff_image_bytes(info), 0);
        ok = TIFFIsTiled(tif) ? read_tiles(tif, info, planar, pixels.data())
                              : read_scanlines(tif, info, planar, pixels.data());
    } catch (const std::bad_alloc &) {
        ok = false;
    }
    TIFFClose(tif);
    if (!ok) {
        pixels.clear();
        if (!last_error) last_error = "Could not read TIFF file";
    }
    return ok;
}

TIFF *tiff_open_write(const char *path, const TiffImageInfo &info, int compression)
{
    TIFF *tif = path ? TIFFOpen(path, "w") : nullptr;
    if (!tif) {
        last_error = "Could not open TIFF file for writing";
        return nullptr;
    }
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(info.width));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(info.height));
    TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t(info.samples));
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t(info.bits));
    TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, uint16_t(info.sampleformat));
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, uint16_t(compression));
    if (info.tile_width && info.tile_length) {
        if (!TIFFSetField(tif, TIFFTAG_TILEWIDTH, uint32_t(info.tile_width)) ||
            !TIFFSetField(tif, TIFFTAG_TILELENGTH, uint32_t(info.tile_length))) {
            TIFFClose(tif);
            last_error = "Bad TIFF tile size";
            return nullptr;
        }
    } else {
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, uint32_t(8));
    }
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, info.samples < 2 ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB);
    if (info.samples == 4) {
        uint16_t extra = EXTRASAMPLE_ASSOCALPHA;
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &extra);
    }
    TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    TIFFSetField(tif, TIFFTAG_XRESOLUTION, 72.0f);
    TIFFSetField(tif, TIFFTAG_YRESOLUTION, 72.0f);
    return tif;
}

int tiff_write_image(const char *path, const void *pixels, const TiffImageInfo &info,
                     int compression)
{
    if (tiff_image_bytes(info) == 0 || (info.bits != 8 && info.bits != 16 && info.bits != 32)) {
        last_error = "Bad TIFF image size";
        return -1;
    }
    velk::OutputFile file;
    TIFF *tif = path && file.open(path) ? tiff_open_write(file.path().c_str(), info, compression) : nullptr;
    if (!tif) {
        last_error = "Could not open TIFF file for writing";
        return -1;
    }
    // The predictor belongs to the compression, so it is set after it.
    if (compression == COMPRESSION_LZW && info.sampleformat != SAMPLEFORMAT_IEEEFP)
        TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    const unsigned char *data = static_cast<const unsigned char *>(pixels);
    bool ok = (info.tile_width && info.tile_length) ? write_tiles(tif, data, info)
                                                    : write_scanlines(tif, data, info);
    if (ok && !TIFFFlush(tif)) ok = false;
    TIFFClose(tif);
    if (!ok || !file.commit()) {
        last_error = "Could not write TIFF file";
        return -1;
    }
    return 0;
}
