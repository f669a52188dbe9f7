#include "shading_files/depthfile.h"

#include "tests/support/run_program.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const float SCREEN[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
const float CAMERA[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0.5f, -2, 3, 1};
const float DEPTHS[6] = {1.0f, 2.0f, 3.0f, 4.0f, 5.0f, -1.5f};

std::string write_sample(const velktest::TempDir &dir)
{
    std::string path = dir.path() + "/z.zfile";
    DepthFile *f = zfile_open_write(path.c_str(), 3, 2, SCREEN, CAMERA);
    EXPECT_NE(f, nullptr);
    EXPECT_TRUE(zfile_write_rows(f, 3, DEPTHS));
    EXPECT_TRUE(zfile_write_rows(f, 3, DEPTHS + 3));
    EXPECT_TRUE(zfile_close(f));
    return path;
}

} // namespace

TEST(DepthFile, BigEndianLayout)
{
    velktest::TempDir dir;
    write_sample(dir);
    std::string bytes = dir.read("z.zfile");
    ASSERT_EQ(bytes.size(), 160u);
    EXPECT_EQ(bytes.substr(0, 8), std::string("\x2f\x08\x67\xab\x00\x03\x00\x02", 8));
    EXPECT_EQ(bytes.substr(8, 4), std::string("\x3f\x80\x00\x00", 4));        // 1.0
    EXPECT_EQ(bytes.substr(72 + 48, 4), std::string("\x3f\x00\x00\x00", 4));  // 0.5
    EXPECT_EQ(bytes.substr(156, 4), std::string("\xbf\xc0\x00\x00", 4));      // -1.5, last depth
}

TEST(DepthFile, ReadsBackInEitherMagicOrder)
{
    velktest::TempDir dir;
    std::string path = write_sample(dir);
    for (int swapped = 0; swapped < 2; ++swapped) {
        if (swapped) {
            std::string bytes = dir.read("z.zfile");
            bytes.replace(0, 4, "\xab\x67\x08\x2f", 4);
            dir.write("z.zfile", bytes);
        }
        int w = 0, h = 0;
        float screen[16], camera[16], depths[6];
        testing::internal::CaptureStdout();
        DepthFile *f = zfile_open_read(path.c_str(), &w, &h, screen, camera);
        std::string out = testing::internal::GetCapturedStdout();
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(out, "Opened zfile " + path + ", 3 x 2\n");
        EXPECT_EQ(w, 3);
        EXPECT_EQ(h, 2);
        for (int i = 0; i < 16; ++i) {
            EXPECT_EQ(screen[i], SCREEN[i]);
            EXPECT_EQ(camera[i], CAMERA[i]);
        }
        EXPECT_TRUE(zfile_read_rows(f, 6, depths));
        for (int i = 0; i < 6; ++i) EXPECT_EQ(depths[i], DEPTHS[i]);
        EXPECT_FALSE(zfile_read_rows(f, 1, depths));   // past the end
        EXPECT_EQ(depths[0], 0.0f);
        zfile_close(f);
    }
}

TEST(DepthFile, RefusesWhatItCannotHold)
{
    velktest::TempDir dir;
    int w, h;
    EXPECT_EQ(zfile_open_read((dir.path() + "/none").c_str(), &w, &h, nullptr, nullptr), nullptr);
    EXPECT_EQ(zfile_error(), ZFILE_CANNOT_OPEN);
    EXPECT_EQ(zfile_open_write((dir.path() + "/no/dir").c_str(), 3, 2, SCREEN, CAMERA), nullptr);
    EXPECT_EQ(zfile_error(), ZFILE_CANNOT_CREATE);

    // Sizes that do not fit 16 bits are refused, not cut.
    EXPECT_EQ(zfile_open_write((dir.path() + "/big").c_str(), 65536, 2, SCREEN, CAMERA), nullptr);
    EXPECT_EQ(zfile_error(), ZFILE_BAD_SIZE);
    EXPECT_FALSE(dir.exists("big"));
    DepthFile *f = zfile_open_write((dir.path() + "/max").c_str(), 65535, 1, nullptr, nullptr);
    ASSERT_NE(f, nullptr);
    zfile_close(f);

    std::string bad = dir.write("bad", "II*\0 not a depth file");
    EXPECT_EQ(zfile_open_read(bad.c_str(), &w, &h, nullptr, nullptr), nullptr);
    EXPECT_EQ(zfile_error(), ZFILE_BAD_MAGIC);
    std::string shortfile = dir.write("short", std::string("\x2f\x08\x67\xab\x00\x03\x00\x02\x00", 9));
    EXPECT_EQ(zfile_open_read(shortfile.c_str(), &w, &h, nullptr, nullptr), nullptr);
    EXPECT_EQ(zfile_error(), ZFILE_SHORT_HEADER);
}
