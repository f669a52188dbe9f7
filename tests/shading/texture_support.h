// Helpers of the texture tests: pictures written as TIFF files, the
// directories of texture files read back with libtiff, and the RI errors a
// call reports.
#pragma once
#include <gtest/gtest.h>
#include <tiffio.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "ri_common/ri.h"
#include "shading_files/depthfile.h"
#include "shading_files/texmake.h"
#include "shading_files/tiffimage.h"

namespace textest {

// One reported RI error.
struct Reported {
    int code, severity;
    std::string message;
};

inline std::vector<Reported> &reported()
{
    static std::vector<Reported> list;
    return list;
}

inline RtVoid record_error(RtInt code, RtInt severity, const char *message)
{
    reported().push_back({code, severity, message ? message : ""});
}

// Collects the RI errors reported while it lives (the previous handler comes back).
class ErrorLog {
public:
    ErrorLog() : saved_(RiErrorHandler(record_error)) { reported().clear(); }
    ~ErrorLog() { RiErrorHandler(saved_); }
    const std::vector<Reported> &all() const { return reported(); }
    size_t size() const { return reported().size(); }
    // The text of the only error, "" when there is not exactly one.
    std::string only(int *code = nullptr) const
    {
        if (reported().size() != 1) return "";
        if (code) *code = reported()[0].code;
        return reported()[0].message;
    }

private:
    RtErrorHandler saved_;
};

// A picture of w x h pixels of samples 8-bit samples; value(x, y, s) gives each.
inline std::vector<unsigned char> picture8(int w, int h, int samples,
                                           const std::function<int(int, int, int)> &value)
{
    std::vector<unsigned char> px(size_t(w) * h * samples);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int s = 0; s < samples; ++s) px[(size_t(y) * w + x) * samples + s] = uint8_t(value(x, y, s));
    return px;
}

// Writes packed pixels as an uncompressed scanline TIFF file.
inline void write_picture(const std::string &path, const void *pixels, int w, int h, int samples, int bits = 8,
                          int sampleformat = 1)
{
    TiffImageInfo info;
    info.width = w;
    info.height = h;
    info.samples = samples;
    info.bits = bits;
    info.sampleformat = sampleformat;
    ASSERT_EQ(tiff_write_image(path.c_str(), pixels, info, COMPRESSION_NONE), 0) << path;
}

// Writes w x h depths with the two matrices as dir/<name>.z and makes them
// into the shadow map dir/<name>.shad (its path; the depth file's message on
// standard output is swallowed).
inline std::string make_shadow_map(const std::string &dir, const std::string &name, int w, int h,
                                   const std::vector<float> &depths, const float *screen, const float *camera)
{
    std::string z = dir + "/" + name + ".z", shad = dir + "/" + name + ".shad";
    DepthFile *f = zfile_open_write(z.c_str(), w, h, screen, camera);
    EXPECT_NE(f, nullptr) << z;
    if (!f) return shad;
    zfile_write_rows(f, depths.size(), depths.data());
    zfile_close(f);
    testing::internal::CaptureStdout();
    make_shadow_file(z.c_str(), shad.c_str(), 0, nullptr, nullptr);
    testing::internal::GetCapturedStdout();
    return shad;
}

// One directory of a texture file as read back.
struct Directory {
    uint32_t width = 0, height = 0, tile_width = 0, tile_length = 0;
    uint16_t samples = 0, bits = 0, sampleformat = 0, compression = 0, predictor = 0;
    bool has_predictor = false;
    std::string format, wraps;
    bool has_wraps = false, has_fov = false, has_matrices = false, has_full = false;
    float fov = 0;
    float world_to_screen[16] = {}, world_to_camera[16] = {};
    uint32_t full_width = 0, full_length = 0;
    std::vector<unsigned char> pixels;   // the level, packed (tiles reassembled)
};

// Every directory of a texture file; empty when it cannot be opened.
inline std::vector<Directory> read_texture_file(const std::string &path)
{
    std::vector<Directory> out;
    TIFFSetWarningHandler(nullptr);
    TIFF *tif = TIFFOpen(path.c_str(), "r");
    if (!tif) return out;
    do {
        Directory d;
        TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &d.width);
        TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &d.height);
        TIFFGetField(tif, TIFFTAG_TILEWIDTH, &d.tile_width);
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &d.tile_length);
        TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &d.samples);
        TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &d.bits);
        TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &d.sampleformat);
        TIFFGetField(tif, TIFFTAG_COMPRESSION, &d.compression);
        d.has_predictor = TIFFGetField(tif, TIFFTAG_PREDICTOR, &d.predictor) != 0;
        char *text = nullptr;
        if (TIFFGetField(tif, 33302, &text) && text) d.format = text;
        text = nullptr;
        if (TIFFGetField(tif, 33303, &text) && text) d.wraps = text, d.has_wraps = true;
        d.has_fov = TIFFGetField(tif, 33304, &d.fov) != 0;
        float *m = nullptr;
        if (TIFFGetField(tif, 33305, &m) && m) {
            std::memcpy(d.world_to_screen, m, 64);
            d.has_matrices = true;
        }
        m = nullptr;
        if (TIFFGetField(tif, 33306, &m) && m) std::memcpy(d.world_to_camera, m, 64);
        d.has_full = TIFFGetField(tif, 33300, &d.full_width) != 0;
        TIFFGetField(tif, 33301, &d.full_length);
        if (d.tile_width && d.tile_length) {
            size_t bpp = size_t(d.samples) * d.bits / 8;
            d.pixels.assign(size_t(d.width) * d.height * bpp, 0);
            std::vector<unsigned char> tile(size_t(TIFFTileSize(tif)));
            for (uint32_t y = 0; y < d.height; y += d.tile_length)
                for (uint32_t x = 0; x < d.width; x += d.tile_width) {
                    TIFFReadTile(tif, tile.data(), x, y, 0, 0);
                    for (uint32_t r = 0; r < d.tile_length && y + r < d.height; ++r) {
                        uint32_t n = std::min(d.tile_width, d.width - x);
                        std::memcpy(d.pixels.data() + ((y + r) * size_t(d.width) + x) * bpp,
                                    tile.data() + r * size_t(d.tile_width) * bpp, n * bpp);
                    }
                }
        }
        out.push_back(std::move(d));
    } while (TIFFReadDirectory(tif));
    TIFFClose(tif);
    return out;
}

} // namespace textest
