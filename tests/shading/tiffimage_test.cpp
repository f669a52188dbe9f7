#include "shading_files/tiffimage.h"

#include "tests/support/run_program.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

TiffImageInfo describe(int w, int h, int samples, int bits, int format, int tw = 0, int tl = 0)
{
    TiffImageInfo info;
    info.width = w;
    info.height = h;
    info.samples = samples;
    info.bits = bits;
    info.sampleformat = format;
    info.tile_width = tw;
    info.tile_length = tl;
    return info;
}

std::vector<unsigned char> pattern(size_t n)
{
    std::vector<unsigned char> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = (unsigned char)(i * 7 + i / 251);
    return v;
}

// Writes a file directly through libtiff with fields the helpers never write.
void write_raw(const std::string &path, int w, int h, int samples, int bits, int planar,
               int compression, const std::vector<unsigned char> &rows, int tile = 0)
{
    TIFF *tif = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(tif, nullptr);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(w));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(h));
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t(samples));
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t(bits));
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, uint16_t(planar));
    TIFFSetField(tif, TIFFTAG_COMPRESSION, uint16_t(compression));
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, samples >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
    if (tile) {
        TIFFSetField(tif, TIFFTAG_TILEWIDTH, uint32_t(tile));
        TIFFSetField(tif, TIFFTAG_TILELENGTH, uint32_t(tile));
    } else {
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, uint32_t(h));
    }
    size_t plane_row = size_t(w) * bits / 8 * (planar == PLANARCONFIG_SEPARATE ? 1 : samples);
    int planes = planar == PLANARCONFIG_SEPARATE ? samples : 1;
    std::vector<unsigned char> buf;
    for (int s = 0; s < planes; ++s) {
        if (tile) {
            // One tile covers the whole (small) image here.
            buf.assign(size_t(tile) * tile * bits / 8 * (planes > 1 ? 1 : samples), 0);
            for (int y = 0; y < h; ++y)
                std::memcpy(buf.data() + size_t(y) * tile * (buf.size() / (size_t(tile) * tile)),
                            rows.data() + (size_t(s) * h + y) * plane_row, plane_row);
            ASSERT_GE(TIFFWriteTile(tif, buf.data(), 0, 0, 0, uint16_t(s)), 0);
        } else {
            for (int y = 0; y < h; ++y) {
                buf.assign(rows.begin() + (size_t(s) * h + y) * plane_row,
                           rows.begin() + (size_t(s) * h + y + 1) * plane_row);
                ASSERT_GE(TIFFWriteScanline(tif, buf.data(), uint32_t(y), uint16_t(s)), 0);
            }
        }
    }
    TIFFClose(tif);
}

} // namespace

TEST(TiffImage, TiledAndScanlineRoundTrips)
{
    velktest::TempDir dir;
    struct Case { TiffImageInfo info; int compression; };
    const Case cases[] = {
        {describe(100, 70, 3, 8, 1, 64, 64), COMPRESSION_NONE},   // tiles overhang the image
        {describe(100, 70, 4, 8, 1, 64, 64), COMPRESSION_LZW},
        {describe(33, 17, 1, 16, 1), COMPRESSION_LZW},
        {describe(20, 9, 4, 32, 3), COMPRESSION_ADOBE_DEFLATE},
        {describe(5, 3, 2, 16, 1, 16, 16), COMPRESSION_NONE},
    };
    for (const Case &c : cases) {
        std::string path = dir.path() + "/img.tif";
        std::vector<unsigned char> data = pattern(tiff_image_bytes(c.info));
        ASSERT_EQ(tiff_write_image(path.c_str(), data.data(), c.info, c.compression), 0);

        TiffImageInfo probe;
        ASSERT_TRUE(tiff_probe(path.c_str(), probe));
        EXPECT_EQ(probe.width, c.info.width);
        EXPECT_EQ(probe.height, c.info.height);
        EXPECT_EQ(probe.samples, c.info.samples);
        EXPECT_EQ(probe.bits, c.info.bits);
        EXPECT_EQ(probe.sampleformat, c.info.sampleformat);
        EXPECT_EQ(probe.tile_width, c.info.tile_width);
        EXPECT_EQ(probe.tile_length, c.info.tile_length);

        TiffImageInfo info;
        std::vector<unsigned char> back;
        ASSERT_TRUE(tiff_read_image(path.c_str(), info, back));
        EXPECT_EQ(back, data) << c.info.width << "x" << c.info.height;
    }
}

TEST(TiffImage, WrittenFields)
{
    velktest::TempDir dir;
    std::string path = dir.path() + "/w.tif";
    TiffImageInfo info = describe(10, 20, 4, 8, 1);
    std::vector<unsigned char> data(tiff_image_bytes(info), 9);
    ASSERT_EQ(tiff_write_image(path.c_str(), data.data(), info, COMPRESSION_LZW), 0);
    TIFF *tif = TIFFOpen(path.c_str(), "r");
    ASSERT_NE(tif, nullptr);
    uint16_t v16 = 0, count = 0, *extra = nullptr;
    uint32_t v32 = 0;
    float res = 0;
    EXPECT_TRUE(TIFFGetField(tif, TIFFTAG_PREDICTOR, &v16));
    EXPECT_EQ(v16, PREDICTOR_HORIZONTAL);
    EXPECT_TRUE(TIFFGetField(tif, TIFFTAG_ROWSPERSTRIP, &v32));
    EXPECT_EQ(v32, 8u);
    EXPECT_TRUE(TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &v16));
    EXPECT_EQ(v16, PHOTOMETRIC_RGB);
    EXPECT_TRUE(TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &count, &extra));
    ASSERT_EQ(count, 1);
    EXPECT_EQ(extra[0], EXTRASAMPLE_ASSOCALPHA);
    EXPECT_TRUE(TIFFGetField(tif, TIFFTAG_XRESOLUTION, &res));
    EXPECT_EQ(res, 72.0f);
    TIFFClose(tif);

    // No predictor on float data.
    info = describe(4, 4, 1, 32, 3);
    std::vector<unsigned char> floats(tiff_image_bytes(info), 0);
    ASSERT_EQ(tiff_write_image(path.c_str(), floats.data(), info, COMPRESSION_LZW), 0);
    tif = TIFFOpen(path.c_str(), "r");
    ASSERT_NE(tif, nullptr);
    EXPECT_FALSE(TIFFGetField(tif, TIFFTAG_PREDICTOR, &v16));
    TIFFClose(tif);
}

TEST(TiffImage, Failures)
{
    velktest::TempDir dir;
    TiffImageInfo info;
    std::vector<unsigned char> data;
    EXPECT_FALSE(tiff_probe((dir.path() + "/none.tif").c_str(), info));
    EXPECT_STREQ(tiff_error_text(), "TIFF file not found");

    std::string twelve = dir.path() + "/twelve.tif";
    write_raw(twelve, 4, 2, 1, 12, PLANARCONFIG_CONTIG, COMPRESSION_NONE, std::vector<unsigned char>(12, 1));
    EXPECT_FALSE(tiff_read_image(twelve.c_str(), info, data));
    EXPECT_STREQ(tiff_error_text(), "Bad TIFF bitspersample");

    TiffImageInfo out = describe(4, 4, 1, 8, 1);
    std::vector<unsigned char> pixels(16, 0);
    EXPECT_EQ(tiff_write_image((dir.path() + "/no/dir.tif").c_str(), pixels.data(), out, 1), -1);
    EXPECT_STREQ(tiff_error_text(), "Could not open TIFF file for writing");

    // A file cut short reads as a failure, not as an image.
    std::string path = dir.path() + "/cut.tif";
    out = describe(64, 64, 3, 8, 1);
    pixels = pattern(tiff_image_bytes(out));
    ASSERT_EQ(tiff_write_image(path.c_str(), pixels.data(), out, COMPRESSION_NONE), 0);
    std::string bytes = dir.read("cut.tif");
    dir.write("cut.tif", bytes.substr(0, bytes.size() / 2));
    testing::internal::CaptureStderr();
    bool ok = tiff_read_image(path.c_str(), info, data);
    testing::internal::GetCapturedStderr();
    EXPECT_FALSE(ok);
}

TEST(TiffImage, PixarLogReadsAsFloat)
{
    velktest::TempDir dir;
    std::string path = dir.path() + "/pixar.tif";
    std::vector<unsigned char> rows = {0, 51, 102, 153, 204, 255, 255, 0, 128, 64, 32, 16};
    write_raw(path, 2, 2, 3, 8, PLANARCONFIG_CONTIG, COMPRESSION_PIXARLOG, rows);
    TiffImageInfo probe, info;
    ASSERT_TRUE(tiff_probe(path.c_str(), probe));
    EXPECT_EQ(probe.bits, 32);
    EXPECT_EQ(probe.sampleformat, 3);
    std::vector<unsigned char> data;
    ASSERT_TRUE(tiff_read_image(path.c_str(), info, data));
    EXPECT_EQ(info.bits, 32);
    EXPECT_EQ(info.sampleformat, 3);
    ASSERT_EQ(data.size(), rows.size() * sizeof(float));
    for (size_t i = 0; i < rows.size(); ++i) {
        float f;
        std::memcpy(&f, data.data() + 4 * i, 4);
        EXPECT_NEAR(f, rows[i] / 255.0f, 0.01f) << i;
    }
}

TEST(TiffImage, SeparatePlanesAreInterleaved)
{
    velktest::TempDir dir;
    // Planes R, G, B of a 3x2 image, one after the other.
    std::vector<unsigned char> planes;
    for (int s = 0; s < 3; ++s)
        for (int i = 0; i < 6; ++i) planes.push_back((unsigned char)(s * 100 + i));
    for (int tile : {0, 16}) {
        std::string path = dir.path() + "/planes.tif";
        write_raw(path, 3, 2, 3, 8, PLANARCONFIG_SEPARATE, COMPRESSION_NONE, planes, tile);
        TiffImageInfo info;
        std::vector<unsigned char> data;
        ASSERT_TRUE(tiff_read_image(path.c_str(), info, data)) << tiff_error_text();
        ASSERT_EQ(data.size(), 18u);
        for (int i = 0; i < 6; ++i)
            for (int s = 0; s < 3; ++s) EXPECT_EQ(data[i * 3 + s], s * 100 + i) << "tile " << tile;
    }
}

TEST(TiffImage, HeadersClaimingMoreThanTheFileHoldsAreRefusedBeforeReading)
{
    velktest::TempDir dir;
    TiffImageInfo info;
    std::vector<unsigned char> data;
    // 60000 x 60000 RGB (10 GB) over one written row, stored plain and with LZW:
    // refused without making room for the image.
    for (int compression : {COMPRESSION_NONE, COMPRESSION_LZW}) {
        std::string path = dir.path() + "/vast" + std::to_string(compression) + ".tif";
        TIFF *tif = TIFFOpen(path.c_str(), "w");
        ASSERT_NE(tif, nullptr);
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(60000));
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(60000));
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t(3));
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t(8));
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, uint16_t(compression));
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, uint32_t(1));
        std::vector<unsigned char> row(60000 * 3, 9);
        ASSERT_GE(TIFFWriteScanline(tif, row.data(), 0, 0), 0);
        testing::internal::CaptureStderr();
        TIFFClose(tif);
        testing::internal::GetCapturedStderr();

        ASSERT_TRUE(tiff_probe(path.c_str(), info)) << compression;   // the header itself is sound
        EXPECT_FALSE(tiff_read_image(path.c_str(), info, data)) << compression;
        EXPECT_STREQ(tiff_error_text(), "TIFF file is cut short");
        EXPECT_TRUE(data.empty());
    }

    // A plain file whose one strip is said to start near its end.
    std::string path = dir.path() + "/short.tif";
    write_raw(path, 32, 32, 1, 8, PLANARCONFIG_CONTIG, COMPRESSION_NONE, pattern(32 * 32));
    std::string bytes = dir.read("short.tif");
    ASSERT_EQ(bytes.substr(0, 2), "II");
    auto u16 = [&](size_t at) { return unsigned(uint8_t(bytes[at])) | unsigned(uint8_t(bytes[at + 1])) << 8; };
    uint32_t ifd;
    std::memcpy(&ifd, bytes.data() + 4, 4);
    bool patched = false;
    for (unsigned i = 0; i < u16(ifd); ++i) {
        size_t entry = ifd + 2 + 12 * size_t(i);
        if (u16(entry) != TIFFTAG_STRIPOFFSETS) continue;
        uint32_t late = uint32_t(bytes.size() - 10);
        bytes.replace(entry + 8, 4, reinterpret_cast<const char *>(&late), 4);
        patched = true;
    }
    ASSERT_TRUE(patched);
    dir.write("short.tif", bytes);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(tiff_read_image(path.c_str(), info, data));
    testing::internal::GetCapturedStderr();
    EXPECT_STREQ(tiff_error_text(), "TIFF file is cut short");
}
