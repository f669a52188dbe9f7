#include "shading_shaderfile/cipher.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace shading;

namespace {

std::vector<unsigned char> bytes(const std::string &s)
{
    return std::vector<unsigned char>(s.begin(), s.end());
}

} // namespace

TEST(Cipher, ShaderKeyStreamStartsAsKnown)
{
    std::vector<unsigned char> b = bytes("surface plastic\n");
    EXPECT_EQ(stream_cipher(b.data(), long(b.size()), SHADER_KEY), 16);
    const unsigned char expected[16] = {0x47, 0x2e, 0x31, 0x9c, 0x09, 0xed, 0x13, 0xd3,
                                        0x81, 0x33, 0x44, 0x15, 0x7a, 0xa2, 0x37, 0xa1};
    EXPECT_EQ(b, std::vector<unsigned char>(expected, expected + 16));
}

TEST(Cipher, SameCallDeciphersAndEveryCallRestartsTheKeyStream)
{
    std::string text(20000, 'x');
    for (size_t i = 0; i < text.size(); i++)
        text[i] = char('a' + i % 23);
    std::vector<unsigned char> b = bytes(text);
    stream_cipher(b.data(), long(b.size()), SHADER_KEY);
    EXPECT_NE(b, bytes(text));
    stream_cipher(b.data(), long(b.size()), SHADER_KEY);
    EXPECT_EQ(b, bytes(text));

    std::vector<unsigned char> first = bytes("abcdef"), second = bytes("abcdef");
    stream_cipher(first.data(), 6, SHADER_KEY);
    stream_cipher(second.data(), 6, SHADER_KEY);
    EXPECT_EQ(first, second);
}

TEST(Cipher, EmptyInputsAndOddKeys)
{
    std::vector<unsigned char> b = bytes("abc");
    EXPECT_EQ(stream_cipher(b.data(), 0, SHADER_KEY), 0);
    EXPECT_EQ(stream_cipher(b.data(), -4, SHADER_KEY), -4);
    EXPECT_EQ(stream_cipher(b.data(), 3, ""), 3);
    EXPECT_EQ(b, bytes("abc"));
    // An odd-length key reads as if "0" followed it.
    std::vector<unsigned char> odd = bytes("abc"), even = bytes("abc");
    stream_cipher(odd.data(), 3, "7D2");
    stream_cipher(even.data(), 3, "7D20");
    EXPECT_EQ(odd, even);
    // Case of the hexadecimal digits does not matter.
    std::vector<unsigned char> lower = bytes("abc"), upper = bytes("abc");
    stream_cipher(lower.data(), 3, "7d2a");
    stream_cipher(upper.data(), 3, "7D2A");
    EXPECT_EQ(lower, upper);
}
