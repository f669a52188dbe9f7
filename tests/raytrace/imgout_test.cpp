// Image output below the render driver: rows of samples in, file bytes out.
#include "raytrace/imgout.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>

#include "ri/renderer.h"
#include "ri/stdtokens.h"
#include "ri/tokens.h"
#include "shading_files/depthfile.h"
#include "tests/ri/error_capture.h"
#include "tests/ri/stderr_capture.h"
#include "tests/support/run_program.h"

namespace {

// Pixel values come from this function through the imager hook.
std::function<void(float x, float y, Color &c, Color &o)> pixel_rule;

void test_imager(const Options &, float x, float y, Color &c, Color &o, float &)
{
    if (pixel_rule) pixel_rule(x, y, c, o);
}

class ImageOutputTest : public testing::Test {
protected:
    void SetUp() override
    {
        predeclare_tokens();
        saved_runner_ = imager_runner;
        imager_runner = &test_imager;
        options.imager = reinterpret_cast<Shader *>(&options);   // any non-null shader turns the hook on
        options.color_quant[3] = 0;                              // no dither: exact values
        safety_file = 0;
    }
    void TearDown() override
    {
        imager_runner = saved_runner_;
        pixel_rule = nullptr;
        safety_file = 0;
    }
    // Display and format, then the world-begin derivation.
    void frame(const char *type, const char *mode, int w, int h, std::vector<RtToken> tokens = {},
               std::vector<RtPointer> values = {})
    {
        name = dir.path() + "/out";
        output.display(NewToken(name.c_str()), NewToken(type), NewToken(mode), RtInt(tokens.size()),
                       tokens.data(), values.data());
        options.set_format(w, h, 1);
        options.prepare_world(TransformationRef());
    }
    // Emits every output row (touching each so it exists) and closes.
    void render_all()
    {
        for (int y = options.crop_bounds[2]; y <= options.crop_bounds[3]; ++y) {
            output.row(y);
            output.emit_scanline(y, false);
        }
        output.close();
    }
    TIFF *open_result()
    {
        TIFF *t = TIFFOpen(name.c_str(), "r");
        EXPECT_NE(t, nullptr);
        return t;
    }

    velktest::TempDir dir;
    Options options;
    SessionOptions session;
    ImageOutput output{options, session};
    std::string name;
    ImagerRunner saved_runner_ = nullptr;
};

template <class T>
std::vector<T> read_row(TIFF *t, int y)
{
    std::vector<T> row(TIFFScanlineSize(t) / sizeof(T));
    EXPECT_EQ(TIFFReadScanline(t, row.data(), uint32_t(y), 0), 1);
    return row;
}

TEST_F(ImageOutputTest, EightBitTiffCarriesTheTagsAndQuantisedPixels)
{
    setenv("HOSTNAME", "testhost", 1);
    RtToken tokens[] = {NewToken("resolution"), NewToken("resolutionunit")};
    float res[2] = {300, 150};
    const char *unit = "cm";
    RtPointer values[] = {res, &unit};
    frame("file", "rgba", 4, 3, {tokens[0], tokens[1]}, {values[0], values[1]});
    options.xsamples = 3;
    options.ysamples = 2;
    pixel_rule = [](float x, float y, Color &c, Color &o) {
        c = Color(x / 4.0f, y / 3.0f, 2.0f);   // blue beyond 1 clamps
        o = Color(1.0f, 0.5f, 0.0f);
    };
    ASSERT_TRUE(output.open());
    render_all();

    TIFF *t = open_result();
    ASSERT_NE(t, nullptr);
    uint32_t w = 0, h = 0;
    uint16_t spp = 0, bps = 0, comp = 0, pred = 0, unit_tag = 0, nextra = 0, *extra = nullptr;
    float xr = 0, yr = 0;
    char *desc = nullptr, *soft = nullptr, *host = nullptr;
    TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(t, TIFFTAG_IMAGELENGTH, &h);
    TIFFGetField(t, TIFFTAG_SAMPLESPERPIXEL, &spp);
    TIFFGetField(t, TIFFTAG_BITSPERSAMPLE, &bps);
    TIFFGetField(t, TIFFTAG_COMPRESSION, &comp);
    TIFFGetField(t, TIFFTAG_PREDICTOR, &pred);
    TIFFGetField(t, TIFFTAG_EXTRASAMPLES, &nextra, &extra);
    TIFFGetField(t, TIFFTAG_XRESOLUTION, &xr);
    TIFFGetField(t, TIFFTAG_YRESOLUTION, &yr);
    TIFFGetField(t, TIFFTAG_RESOLUTIONUNIT, &unit_tag);
    TIFFGetField(t, TIFFTAG_IMAGEDESCRIPTION, &desc);
    TIFFGetField(t, TIFFTAG_SOFTWARE, &soft);
    TIFFGetField(t, TIFFTAG_HOSTCOMPUTER, &host);
    EXPECT_EQ(w, 4u);
    EXPECT_EQ(h, 3u);
    EXPECT_EQ(spp, 4);
    EXPECT_EQ(bps, 8);
    EXPECT_EQ(comp, COMPRESSION_LZW);
    EXPECT_EQ(pred, PREDICTOR_HORIZONTAL);
    ASSERT_EQ(nextra, 1);
    EXPECT_EQ(extra[0], EXTRASAMPLE_ASSOCALPHA);
    EXPECT_EQ(xr, 300.0f);
    EXPECT_EQ(yr, 150.0f);
    EXPECT_EQ(unit_tag, RESUNIT_CENTIMETER);
    EXPECT_STREQ(desc, "VELK2.5.0.7 intelnt, res4x3, samp3x2");
    EXPECT_STREQ(soft, "Ostrane Rendering Tools 2.5.0.7 intelnt");
    EXPECT_STREQ(host, "testhost");
    float pos = -1;
    EXPECT_FALSE(TIFFGetField(t, TIFFTAG_XPOSITION, &pos));   // not cropped

    read_row<uint8_t>(t, 0);
    read_row<uint8_t>(t, 1);
    std::vector<uint8_t> row = read_row<uint8_t>(t, 2);
    // Pixel (1, 2): centre (1.5, 2.5); values go to the nearest level.
    EXPECT_EQ(row[4], 96);    // 95.625
    EXPECT_EQ(row[5], 213);   // 212.5
    EXPECT_EQ(row[6], 255);
    EXPECT_EQ(row[7], 128);   // mean opacity 0.5: 127.5
    TIFFClose(t);
    unsetenv("HOSTNAME");
}

TEST_F(ImageOutputTest, QuantisationEdges)
{
    // 16 bits: one beyond the range clamps to 65535; NaN and negatives give 0.
    frame("tiff", "rgb", 3, 1);
    options.color_quant[0] = 70000;
    options.color_quant[1] = -5;
    options.color_quant[2] = 70000;
    pixel_rule = [](float x, float, Color &c, Color &) {
        float nan = std::numeric_limits<float>::quiet_NaN();
        c = x < 1 ? Color(1.0f, nan, -1.0f) : Color(0.5f, std::numeric_limits<float>::infinity(), 0.0f);
    };
    ASSERT_TRUE(output.open());
    EXPECT_EQ(output.bits_out, 16);
    render_all();
    TIFF *t = open_result();
    ASSERT_NE(t, nullptr);
    std::vector<uint16_t> row = read_row<uint16_t>(t, 0);
    EXPECT_EQ(row[0], 65535);
    EXPECT_EQ(row[1], 0);
    EXPECT_EQ(row[2], 0);
    EXPECT_EQ(row[3], 35000);
    EXPECT_EQ(row[4], 65535);
    TIFFClose(t);

    // Floats: one, min and max all 0; no predictor with them; "none" gives no compression.
    RtToken comp = NewToken("compression");
    const char *none = "none";
    frame("tiff", "rgba", 2, 2, {comp}, {&none});
    options.color_quant[0] = options.color_quant[1] = options.color_quant[2] = 0;
    pixel_rule = [](float x, float y, Color &c, Color &o) {
        c = Color(x, y, -3.0f);
        o = Color(0.25f);
    };
    ASSERT_TRUE(output.open());
    render_all();
    t = open_result();
    ASSERT_NE(t, nullptr);
    uint16_t bps = 0, fmt = 0, c = 0, pred = 0;
    TIFFGetField(t, TIFFTAG_BITSPERSAMPLE, &bps);
    TIFFGetField(t, TIFFTAG_SAMPLEFORMAT, &fmt);
    TIFFGetField(t, TIFFTAG_COMPRESSION, &c);
    EXPECT_EQ(bps, 32);
    EXPECT_EQ(fmt, SAMPLEFORMAT_IEEEFP);
    EXPECT_EQ(c, COMPRESSION_NONE);
    EXPECT_FALSE(TIFFGetField(t, TIFFTAG_PREDICTOR, &pred));
    read_row<float>(t, 0);
    std::vector<float> f = read_row<float>(t, 1);
    EXPECT_EQ(f[4], 1.5f);
    EXPECT_EQ(f[5], 1.5f);
    EXPECT_EQ(f[6], -3.0f);
    EXPECT_EQ(f[7], 0.25f);
    TIFFClose(t);
}

TEST_F(ImageOutputTest, ExposureAndDither)
{
    frame("tiff", "rgb", 1, 1);
    options.exposure_gain = 4;
    options.exposure_gamma = 2;
    options.exposure_differs = 1;
    pixel_rule = [](float, float, Color &c, Color &) { c = Color(0.0625f, -1.0f, 0.25f); };
    ASSERT_TRUE(output.open());
    render_all();
    TIFF *t = open_result();
    ASSERT_NE(t, nullptr);
    std::vector<uint8_t> row = read_row<uint8_t>(t, 0);
    EXPECT_EQ(row[0], 128);   // (4 x 0.0625)^(1/2) = 0.5: 127.5
    EXPECT_EQ(row[1], 0);
    EXPECT_EQ(row[2], 255);
    TIFFClose(t);

    // A dither amplitude of a few levels moves values around but stays near.
    frame("tiff", "rgb", 8, 8);
    options.exposure_differs = 0;
    options.color_quant[3] = 2.0f / 255.0f;
    pixel_rule = [](float, float, Color &c, Color &) { c = Color(0.5f); };
    ASSERT_TRUE(output.open());
    render_all();
    t = open_result();
    ASSERT_NE(t, nullptr);
    bool varied = false;
    for (int y = 0; y < 8; ++y)
        for (uint8_t v : read_row<uint8_t>(t, y)) {
            EXPECT_GE(v, 126);   // 127.5 +- 2, rounded
            EXPECT_LE(v, 129);
            varied = varied || v != 127;
        }
    EXPECT_TRUE(varied);
    TIFFClose(t);
}

TEST_F(ImageOutputTest, ColourAndDepthModes)
{
    // "rgbaz" behaves as "rgbz": three samples, no alpha.
    frame("tiff", "rgbaz", 2, 1);
    ASSERT_TRUE(output.open());
    EXPECT_EQ(output.samples_out, 3);
    render_all();
    TIFF *t = open_result();
    ASSERT_NE(t, nullptr);
    uint16_t spp = 0, n = 0, *extra = nullptr;
    TIFFGetField(t, TIFFTAG_SAMPLESPERPIXEL, &spp);
    EXPECT_EQ(spp, 3);
    EXPECT_FALSE(TIFFGetField(t, TIFFTAG_EXTRASAMPLES, &n, &extra));
    TIFFClose(t);

    // "z" alone: the depth as floats.
    frame("tiff", "z", 2, 1);
    ASSERT_TRUE(output.open());
    output.row(0)[0].depth = 7.5f;
    render_all();
    t = open_result();
    ASSERT_NE(t, nullptr);
    std::vector<float> d = read_row<float>(t, 0);
    ASSERT_EQ(d.size(), 2u);
    EXPECT_EQ(d[0], 7.5f);
    EXPECT_EQ(d[1], PIXEL_NO_DEPTH);
    TIFFClose(t);

    // Depth file at the crop size.
    frame("zfile", "z", 4, 4);
    options.crop[0] = 0.5f;
    options.prepare_world(TransformationRef());
    ASSERT_TRUE(output.open());
    output.row(1)[3].depth = 2.0f;
    render_all();
    int w = 0, h = 0;
    DepthFile *z = zfile_open_read(name.c_str(), &w, &h, nullptr, nullptr);
    ASSERT_NE(z, nullptr);
    EXPECT_EQ(w, 2);
    EXPECT_EQ(h, 4);
    std::vector<float> depths(8);
    EXPECT_TRUE(zfile_read_rows(z, 8, depths.data()));
    EXPECT_EQ(depths[3], 2.0f);
    zfile_close(z);
}

TEST_F(ImageOutputTest, CroppedImageIsWrittenAtItsSizeWithEveryStrip)
{
    RtToken rps = NewToken("integer rowsperstrip");
    int two = 2;
    frame("file", "rgb", 10, 10, {rps}, {&two});
    options.crop[0] = 0.3f;
    options.crop[1] = 0.7f;
    options.crop[2] = 0.2f;
    options.crop[3] = 0.9f;
    options.prepare_world(TransformationRef());
    pixel_rule = [](float x, float y, Color &c, Color &) { c = Color(x / 10, y / 10, 1); };
    ASSERT_TRUE(output.open());
    // Only two rows arrive, the second out of order, one outside the crop.
    output.row(4);
    output.row(2);
    output.emit_scanline(4, false);
    output.emit_scanline(2, false);
    output.emit_scanline(9, false);
    output.close();

    TIFF *t = open_result();
    ASSERT_NE(t, nullptr);
    uint32_t w = 0, h = 0, rows = 0;
    float xp = -1, yp = -1;
    TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(t, TIFFTAG_IMAGELENGTH, &h);
    TIFFGetField(t, TIFFTAG_ROWSPERSTRIP, &rows);
    TIFFGetField(t, TIFFTAG_XPOSITION, &xp);
    TIFFGetField(t, TIFFTAG_YPOSITION, &yp);
    EXPECT_EQ(w, 4u);   // columns 3..6
    EXPECT_EQ(h, 7u);   // rows 2..8
    EXPECT_EQ(rows, 2u);
    EXPECT_EQ(xp, 3.0f);
    EXPECT_EQ(yp, 2.0f);
    EXPECT_EQ(TIFFNumberOfStrips(t), 4u);
    for (uint32_t y = 0; y < h; ++y) {
        std::vector<uint8_t> row = read_row<uint8_t>(t, int(y));
        // Row 4 (output row 2) arrived; rows skipped or refused are black.
        uint8_t expect_red = y == 2 ? uint8_t(std::floor(255 * 3.5f / 10)) : 0;
        EXPECT_EQ(row[0], expect_red) << "row " << y;
    }
    TIFFClose(t);
}

TEST_F(ImageOutputTest, MemoryDeviceWritesOnlyInsideItsBuffer)
{
    // The buffer holds the crop window exactly; guard bytes around it.
    std::vector<unsigned char> memory(2 * 3 * 4 + 16, 0xee);
    void *addr = memory.data() + 8;
    RtToken tokens[] = {NewToken("framebufferaddr")};
    RtPointer values[] = {&addr};
    frame("memory", "rgba", 4, 4, {tokens[0]}, {values[0]});
    options.crop[0] = 0.25f;
    options.crop[1] = 0.75f;
    options.crop[2] = 0.25f;
    options.crop[3] = 1.0f;
    options.prepare_world(TransformationRef());
    // The pixel's column and row as levels.
    pixel_rule = [](float x, float y, Color &c, Color &o) {
        c = Color((x - 0.5f) / 255.0f, (y - 0.5f) / 255.0f, 0);
        o = Color(1);
    };
    ASSERT_TRUE(output.open());
    for (int y = 0; y < 4; ++y) {
        output.row(y);
        output.emit_scanline(y, true);   // forced rows outside the crop go nowhere
    }
    output.close();
    for (int i = 0; i < 8; ++i) EXPECT_EQ(memory[size_t(i)], 0xee);
    for (size_t i = memory.size() - 8; i < memory.size(); ++i) EXPECT_EQ(memory[i], 0xee);
    // Output row 0 is image row 1; pixel 0 is column 1.
    EXPECT_EQ(memory[8], 1);
    EXPECT_EQ(memory[9], 1);
    EXPECT_EQ(memory[8 + 2 * 4 * 2 + 4], 2);   // row 3, column 2
    EXPECT_EQ(memory[8 + 2 * 4 * 2 + 5], 3);

    // Without an address the frame start reports it.
    velktest::ErrorCapture errors;
    frame("memory", "rgba", 4, 4);
    output.open();
    EXPECT_TRUE(errors.has_message("\"memory\" output device requested with Display, but no address"));
}

// Standard output captured while it lives.
class StdoutCapture {
public:
    StdoutCapture()
    {
        fflush(stdout);
        file_ = tmpfile();
        saved_ = dup(1);
        dup2(fileno(file_), 1);
    }
    std::string finish()
    {
        fflush(stdout);
        dup2(saved_, 1);
        close(saved_);
        rewind(file_);
        std::string text;
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, file_)) > 0) text.append(buf, n);
        fclose(file_);
        return text;
    }

private:
    FILE *file_;
    int saved_;
};

TEST_F(ImageOutputTest, AsciiPreviewShadesByLuminance)
{
    frame("ascii", "rgb", 6, 1);
    ASSERT_TRUE(output.open());
    PixelSample *row = output.row(0);
    const float levels[6] = {0.0f, 0.1f, 0.5f, 0.7f, 1.0f, 40.0f};
    for (int x = 0; x < 6; ++x) {
        row[x].color = Color(levels[x]);
        row[x].weight = 1;
    }
    row[0].color = Color(std::numeric_limits<float>::quiet_NaN());
    StdoutCapture out;
    output.emit_scanline(0, false);
    // floor(8 x lum^0.75), at most 7: NaN and 0 blank, 1 and beyond '#'.
    EXPECT_EQ(out.finish(), " .+*##\n");
}

} // namespace
