// Binary floats: the codes and big-endian bytes of float arrays and single floats.
#include <gtest/gtest.h>

#include <vector>

#include "ri_common/ri.h"
#include "tests/tools/ribout/ribout_support.h"

using ribtest::float_bytes;
using ribtest::written;

TEST(RiboutBinary, FloatArraysAndSingleFloats)
{
    RtColor c = {1, 0.5f, -2};
    std::string want = "Color " + std::string("\xc8\x03", 2) + float_bytes(1) + float_bytes(0.5f) +
                       float_bytes(-2) + "\n";
    EXPECT_EQ(written([&] { RiColor(c); }, true), want);
    want = "Translate " + std::string("\xa4") + float_bytes(1.5f) + "\xa4" + float_bytes(0) + "\xa4" +
           float_bytes(-3) + "\n";
    EXPECT_EQ(written([] { RiTranslate(1.5f, 0, -3); }, true), want);
    // Numbers written with the request text stay text.
    EXPECT_EQ(written([] { RiSphere(1, -1, 1, 360, RI_NULL); }, true), "Sphere 1 -1 1 360\n");
    RtFloat ks = 0.25f;
    EXPECT_EQ(written([&] { RiSurface("plastic", "Ks", &ks, RI_NULL); }, true),
              "Surface \"plastic\" \"Ks\" " + std::string("\xc8\x01", 2) + float_bytes(0.25f) + "\n");
}

TEST(RiboutBinary, ArrayCountsTakeAsManyBytesAsTheyNeed)
{
    RiDeclare("many", "point[30000]");
    std::vector<RtFloat> v(90000, 2.0f);
    for (int n : {300, 90000}) {
        RtToken tok = n == 300 ? "float[300] few" : "many";
        std::string out = written([&] { RiAttribute("a", tok, v.data(), RI_NULL); }, true);
        std::string head = "Attribute \"a\" \"" + std::string(tok) + "\" ";
        ASSERT_EQ(out.compare(0, head.size(), head), 0);
        std::string code = out.substr(head.size(), n == 300 ? 3 : 4);
        EXPECT_EQ(code, n == 300 ? std::string("\xc9\x01\x2c", 3) : std::string("\xca\x01\x5f\x90", 4));
        EXPECT_EQ(out.size(), head.size() + code.size() + 4u * n + 1);
    }
}

TEST(RiboutBinary, OptionSwitchesTheCurrentOutputOnly)
{
    RtColor c = {1, 1, 1};
    RtInt zero = 0;
    for (RtToken binary : {"binary", "integer binary"}) {
        std::string out = written([&] {
            RiOption("rib", binary, &zero, RI_NULL);
            RiColor(c);
        }, true);
        EXPECT_EQ(out, "Color [1 1 1]\n") << binary;
    }
}
