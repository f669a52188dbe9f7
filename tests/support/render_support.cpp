#include "tests/support/render_support.h"

#include <cstdlib>
#include <sstream>
#include <tiffio.h>

namespace e2e {

velktest::RunResult raylume(const velktest::TempDir &dir, const std::string &rib,
                            std::vector<std::string> args)
{
    dir.write("scene.rib", rib);
    args.insert(args.begin(), {velktest::program("raylume"), "-silent"});
    args.push_back("scene.rib");
    velktest::RunOptions opts;
    opts.cwd = dir.path();
    opts.timeout_seconds = 120;
    opts.env["HOME"] = dir.path();
    opts.env["VELKHOME"] = "";
    opts.env["VELKSHADERS"] = "";
    opts.env["SHADERS"] = "";
    return velktest::run(args, opts);
}

namespace {

// "W H rgba" and then every value followed by a blank, one row per line.
Image parse_floatdump(const std::string &text)
{
    Image im;
    std::istringstream in(text);
    std::string mode;
    if (!(in >> im.width >> im.height >> mode) || im.width <= 0 || im.height <= 0) return Image();
    im.channels = (mode.find("rgb") != std::string::npos ? 3 : 0) +
                  (mode.find('a') != std::string::npos ? 1 : 0) +
                  (mode.find('z') != std::string::npos ? 1 : 0);
    size_t n = size_t(im.width) * im.height * im.channels;
    im.values.resize(n);
    for (size_t i = 0; i < n; ++i)
        if (!(in >> im.values[i])) return Image();
    return im;
}

} // namespace

Render render_floatdump(const std::string &rib)
{
    velktest::TempDir dir;
    Render r;
    r.run = raylume(dir, rib);
    r.image = parse_floatdump(r.run.out);
    return r;
}

Image read_tiff(const std::string &path)
{
    Image im;
    TIFFSetWarningHandler(nullptr);
    TIFF *tif = TIFFOpen(path.c_str(), "r");
    if (!tif) return im;
    uint32_t w = 0, h = 0;
    uint16_t spp = 1, bits = 8, format = SAMPLEFORMAT_UINT, planar = PLANARCONFIG_CONTIG;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    bool known = planar == PLANARCONFIG_CONTIG && !TIFFIsTiled(tif) &&
                 (bits == 8 || bits == 16 || (bits == 32 && format == SAMPLEFORMAT_IEEEFP));
    std::vector<unsigned char> row(known ? TIFFScanlineSize(tif) : 0);
    std::vector<float> values;
    for (uint32_t y = 0; known && y < h; ++y) {
        if (TIFFReadScanline(tif, row.data(), y) < 0) known = false;
        for (uint32_t i = 0; known && i < w * spp; ++i) {
            if (bits == 8) values.push_back(row[i]);
            else if (bits == 16) values.push_back(reinterpret_cast<const uint16_t *>(row.data())[i]);
            else values.push_back(reinterpret_cast<const float *>(row.data())[i]);
        }
    }
    TIFFClose(tif);
    if (!known) return im;
    im.width = int(w);
    im.height = int(h);
    im.channels = spp;
    im.values = std::move(values);
    return im;
}

std::string exact_floatdump_options(int w, int h)
{
    std::ostringstream s;
    s << "Display \"dump\" \"floatdump\" \"rgba\"\n"
      << "Format " << w << " " << h << " 1\n"
      << "PixelSamples 1 1\n"
      << "PixelFilter \"box\" 1 1\n"
      << "Quantize \"rgba\" 0 0 0 0\n";
    return s.str();
}

std::string pixel_camera(int w, int h)
{
    std::ostringstream s;
    s << "Projection \"orthographic\"\n"
      << "ScreenWindow 0 " << w << " 0 " << h << "\n"
      << "Translate 0 0 5\n";
    return s.str();
}

std::string unit_disk(float x, float y, float z)
{
    std::ostringstream s;
    s << "TransformBegin\nTranslate " << x + 0.5f << " " << y + 0.5f << " " << z << "\nDisk 0 0.5 360\nTransformEnd\n";
    return s.str();
}

} // namespace e2e
