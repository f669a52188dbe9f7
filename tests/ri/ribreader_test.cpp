#include "ri/ribreader.h"

#include <cstring>
#include <gtest/gtest.h>
#include <zlib.h>

#include "tests/ri/rib_test_support.h"

namespace {

// Every token of the input as "kind:text" (binary floats as "f:value").
std::string tokens_of(const std::string &bytes) {
    ByteSource src(bytes);
    std::string out;
    RibToken t;
    while (src.reader.next_token(t) != RIB_END) {
        if (!out.empty()) out += ' ';
        if (t.kind == RIB_BINFLOAT || t.kind == RIB_NUMBER) {
            char buf[64];
            std::snprintf(buf, sizeof buf, "%c:%.17g", t.kind, t.value);
            out += buf;
        } else if (t.kind < 128) {
            out += static_cast<char>(t.kind);
            out += ":" + t.text;
        } else {
            out += "x" + std::to_string(t.kind);
        }
    }
    return out;
}

// Bytes given by value (hex escapes in string literals run into the next character).
std::string B(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes) s += static_cast<char>(b);
    return s;
}

std::string be_float(float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    std::string s;
    for (int i = 3; i >= 0; i--) s += static_cast<char>((bits >> (8 * i)) & 0xff);
    return s;
}

TEST(RibTokens, AsciiTokensCommentsAndStrings) {
    ErrorRecorder rec;
    EXPECT_EQ(tokens_of("Sphere 1 -2.5 +3e2 .\n# a comment\n[ \"a\\\"b\\n\" ] Cone_2"),
              "A:Sphere 1:1 1:-2.5 1:300 1:0 [:[ \":a\"b\n ]:] A:Cone_2");
    // A string runs across lines to its closing quote; an underscore starts
    // no identifier.
    EXPECT_EQ(tokens_of("\"open\nX\" _y"), "\":open\nX _:_ A:y");
    // "##" is a structure token that leaves the second '#' for the loop.
    EXPECT_EQ(tokens_of("##RenderMan RIB"), "#:#");  // the loop takes the second '#'
    EXPECT_EQ(tokens_of("#"), "");
    EXPECT_TRUE(rec.errors().empty());
}

TEST(RibTokens, UnterminatedItemsEndCleanlyAtEndOfInput) {
    ErrorRecorder rec;
    EXPECT_EQ(tokens_of("Sphere # comment without newline"), "A:Sphere");
    EXPECT_TRUE(rec.errors().empty());
    // A string still open at the end of the input is an error, not a token.
    EXPECT_EQ(tokens_of("Sphere \"never\nclosed"), "A:Sphere");
    EXPECT_EQ(tokens_of("\"trailing backslash\\"), "");
    EXPECT_EQ(rec.errors().size(), 2u);
}

TEST(RibTokens, BinaryNumbersAreExact) {
    ErrorRecorder rec;
    EXPECT_EQ(tokens_of(B({0x81, 0x01, 0x00})), "1:256");
    EXPECT_EQ(tokens_of(B({0x84, 0x80})), "1:-0.5");
    // Four bytes: 1234567 keeps every digit; three bytes are a signed 24-bit value.
    EXPECT_EQ(tokens_of(B({0x83, 0x00, 0x12, 0xd6, 0x87})), "1:1234567");
    EXPECT_EQ(tokens_of(B({0x82, 0xff, 0xff, 0xfe})), "1:-2");
    EXPECT_EQ(tokens_of(B({0x86, 0x00, 0x01, 0x80})), "1:1.5");  // d = 1, w = 2
    EXPECT_EQ(tokens_of(B({0x8f, 0x00, 0x00, 0x00, 0x01})), "1:5.9604644775390625e-08");
    ByteSource src(B({0x83, 0x00, 0x12, 0xd6, 0x87}));
    RibToken t;
    src.reader.next_token(t);
    EXPECT_EQ(t.text, "1234567");
    EXPECT_TRUE(rec.errors().empty());
}

TEST(RibTokens, BinaryFloatsStringsAndArrays) {
    ErrorRecorder rec;
    EXPECT_EQ(tokens_of("\xa4" + be_float(0.25f)), "f:0.25");
    EXPECT_EQ(tokens_of(std::string("\xa5\x3f\xf8\x00\x00\x00\x00\x00\x00", 9)), "f:1.5");
    EXPECT_EQ(tokens_of("\x93" "abc"), "\":abc");
    EXPECT_EQ(tokens_of(std::string("\xa0\x02xy", 4)), "\":xy");
    EXPECT_EQ(tokens_of(std::string("\xa1\x00\x01z", 4)), "\":z");
    EXPECT_EQ(tokens_of("\xc8\x02" + be_float(1) + be_float(-2) + "Sphere"), "[:[ f:1 f:-2 ]:] A:Sphere");
    EXPECT_EQ(tokens_of(std::string("\xc8\x00", 2)), "[:[ ]:]");
    EXPECT_TRUE(rec.errors().empty());
}

TEST(RibTokens, DefinitionsBelongToTheirStream) {
    ErrorRecorder rec;
    std::string defs = B({0xcc, 0x05, 0x96}) + "Sphere" + B({0xcd, 0x02, 0x93}) + "abc" +
                       B({0xce, 0x01, 0x00, 0x92}) + "xy";
    EXPECT_EQ(tokens_of(defs + B({0xa6, 0x05, 0xcf, 0x02, 0xd0, 0x01, 0x00})),
              "A:Sphere \":abc \":xy");
    EXPECT_TRUE(rec.errors().empty());
    // A new stream knows none of them.
    EXPECT_EQ(tokens_of(B({0xa6, 0x05})), "A:");
    EXPECT_EQ(tokens_of(B({0xcf, 0x02})), "\":");
    ASSERT_EQ(rec.errors().size(), 2u);
    EXPECT_EQ(rec.errors()[0].code, RIE_SYNTAX);
    EXPECT_EQ(rec.errors()[0].message,
              "Binary RIB protocol botch: request code 5 was never defined; its arguments are skipped");
    EXPECT_EQ(rec.errors()[1].code, RIE_BADHANDLE);
    EXPECT_EQ(rec.errors()[1].message, "Binary RIB protocol botch: string id 2 was never defined");
}

TEST(RibTokens, UndecodableBytesAreTokensNotEndOfInput) {
    ErrorRecorder rec;
    EXPECT_EQ(tokens_of("\xff Sphere \xb0"), "x255 A:Sphere x176");
    ASSERT_EQ(rec.errors().size(), 2u);
    EXPECT_EQ(rec.errors()[0].message, "RIB token, character 255 (octal 377), not understood");
    EXPECT_EQ(rec.errors()[1].message, "RIB token, character 176 (octal 260), not understood");
}

TEST(RibTokens, LengthsBeyondTheInputAreReportedNotAllocated) {
    ErrorRecorder rec;
    EXPECT_EQ(tokens_of("\xa3\x7f\xff\xff\xff" "abc"), "");
    EXPECT_EQ(tokens_of("\xcb\x7f\xff\xff\xff" + be_float(1)), "[:[ f:1");
    EXPECT_EQ(tokens_of(std::string("\x82\x01", 2)), "");
    EXPECT_EQ(tokens_of("\xa4\x01"), "");
    EXPECT_EQ(rec.errors().size(), 4u);
    for (const RecordedError &e : rec.errors())
        EXPECT_EQ(e.message, "Binary RIB protocol botch: input ends inside a value");
}

TEST(RibTokens, OverLongTokensAreSyntaxErrors) {
    ErrorRecorder rec;
    std::string name(RIB_MAX_TOKEN + 10, 'a');
    EXPECT_EQ(tokens_of(name + " Sphere"), "A:Sphere");
    ASSERT_EQ(rec.errors().size(), 1u);
    EXPECT_EQ(rec.errors()[0].code, RIE_SYNTAX);
    EXPECT_EQ(tokens_of("\"" + std::string(RIB_MAX_TOKEN, 's') + "\""), "\":" + std::string(RIB_MAX_TOKEN, 's'));
}

TEST(RibTokens, NestedDefinitionsAreBounded) {
    ErrorRecorder rec;
    std::string nested;
    for (int i = 0; i < 100; i++) nested += "\xcc\x01";
    EXPECT_EQ(tokens_of(nested + "\x91x"), "");
    EXPECT_FALSE(rec.errors().empty());
}

TEST(RibTokens, GzipAndPlainGiveTheSameTokens) {
    std::string plain = "Sphere 1 -1 1 360 \"P\" [0 0 0]\n" + std::string("\xc8\x01", 2) + be_float(7);
    velktest::TempDir dir;
    std::string gz = dir.path() + "/x.rib.gz";
    gzFile f = gzopen(gz.c_str(), "wb");
    gzwrite(f, plain.data(), static_cast<unsigned>(plain.size()));
    gzclose(f);
    ByteSource src(dir.read("x.rib.gz"), "y.rib.gz");
    std::string seen;
    RibToken t;
    while (src.reader.next_token(t) != RIB_END) seen += std::to_string(t.kind) + t.text + std::to_string(t.value);
    ByteSource plain_src(plain);
    std::string expected;
    while (plain_src.reader.next_token(t) != RIB_END)
        expected += std::to_string(t.kind) + t.text + std::to_string(t.value);
    EXPECT_EQ(seen, expected);
    EXPECT_NE(seen.find("Sphere"), std::string::npos);
}

TEST(RibTokens, LinesArePublishedForErrors) {
    ErrorRecorder rec;
    ByteSource src("A\nB\n\nC");
    RibToken t;
    src.reader.next_token(t);
    EXPECT_EQ(rib_current_line, 1);
    src.reader.next_token(t);
    EXPECT_EQ(rib_current_line, 2);
    src.reader.next_token(t);
    EXPECT_EQ(rib_current_line, 4);
    EXPECT_EQ(std::string(rib_current_file), src.path());
    src.reader.close();
    EXPECT_EQ(rib_current_file, nullptr);
    EXPECT_EQ(rib_current_line, 0);
}

// The value readers, each against its accepted shapes.
TEST(RibValues, NumbersStringsAndFixedArrays) {
    ErrorRecorder rec;
    ByteSource src("[ 2.5 ] 7 \"s\" [1 2 3] 4 5 6 [1 2]");
    RibReader &r = src.reader;
    RtFloat f;
    double d;
    std::string s;
    ASSERT_EQ(r.read_float(f), 0);
    EXPECT_EQ(f, 2.5f);
    ASSERT_EQ(r.read_number(d), 0);
    EXPECT_EQ(d, 7);
    ASSERT_EQ(r.read_string(s), 0);
    EXPECT_EQ(s, "s");
    RtFloat a[3];
    ASSERT_EQ(r.read_floats(3, a), 0);
    EXPECT_EQ(a[2], 3);
    ASSERT_EQ(r.read_int_array(3, 10), 0);
    EXPECT_EQ(rib_ints()[10], 4);
    EXPECT_EQ(rib_ints()[12], 6);
    EXPECT_EQ(r.read_floats(3, a), -1);
    EXPECT_EQ(rec.messages(), "Number expected\n");
}

TEST(RibValues, ListsBracketedAndBare) {
    ErrorRecorder rec;
    ByteSource src("[1 2 3] 4 5 Sphere [\"a\" \"b\"] \"c\" [ ]");
    RibReader &r = src.reader;
    int n = 0;
    ASSERT_EQ(r.read_int_list(n, 0), 0);
    EXPECT_EQ(n, 3);
    ASSERT_EQ(r.read_float_list(n, 0), 0);
    EXPECT_EQ(n, 2);
    EXPECT_EQ(rib_floats()[1], 5);
    RibToken t;
    EXPECT_EQ(r.next_token(t), RIB_IDENT);  // the run ended at Sphere, which is kept
    ASSERT_EQ(r.read_string_list(n, 0), 0);
    EXPECT_EQ(n, 2);
    EXPECT_STREQ(rib_strings()[1], "b");
    ASSERT_EQ(r.read_string_list(n, 0), 0);
    EXPECT_EQ(n, 1);
    ASSERT_EQ(r.read_float_list(n, 0), 0);
    EXPECT_EQ(n, 0);
    EXPECT_TRUE(rec.errors().empty());
}

TEST(RibValues, BracketErrors) {
    ErrorRecorder rec;
    ByteSource src("1 2 ] [1 2 \"x\" [1 \"y\" \"P\"");
    RibReader &r = src.reader;
    int n = 0;
    EXPECT_EQ(r.read_float_list(n, 0), -1);   // Extra ']'
    EXPECT_EQ(r.read_int_list(n, 0), -1);     // Missing ']' at "x"
    RibToken t;
    EXPECT_EQ(r.next_token(t), RIB_STRING);   // "x" was given back
    EXPECT_EQ(r.read_float_array(2, 0), -1);  // [1 "y"
    EXPECT_EQ(r.read_int_list(n, 0), -1);     // a bare run must start with a number
    EXPECT_EQ(rec.messages(), "Extra ']'\nMissing ']'\nNumber expected\nNumber expected\n");
}

TEST(RibValues, ArraysGrowWithTheirValues) {
    std::string many = "[";
    for (int i = 0; i < 40000; i++) many += std::to_string(i) + " ";
    many += "]";
    ByteSource src(many);
    int n = 0;
    ASSERT_EQ(src.reader.read_float_list(n, 5), 0);
    EXPECT_EQ(n, 40000);
    EXPECT_EQ(rib_floats()[5 + 39999], 39999);
    EXPECT_GE(rib_floats().capacity(), 40005u);
    shrink_rib_arrays();
    EXPECT_EQ(rib_floats().capacity(), 1000u);
}

} // namespace
