#include "ri/requests.h"

#include <cstring>
#include <gtest/gtest.h>
#include <set>
#include <string>

#include "ri/paramlist.h"
#include "ri/ribfile.h"
#include "ri/stdtokens.h"
#include "tests/ri/recording_renderer.h"
#include "tests/ri/rib_test_support.h"

namespace {

// Reads RIB text through the request loop and returns the messages reported.
std::string messages_of(const std::string &rib) {
    predeclare_tokens();
    velktest::CurrentRecorder renderer;
    ErrorRecorder rec;
    velktest::TempDir dir;
    std::string path = dir.write("t.rib", rib);
    read_rib_file(path.c_str(), nullptr, 1, 1);
    return rec.messages();
}

TEST(RequestTable, EveryRowIsFoundByItsHash) {
    const RibRequest *rows = request_table();
    std::set<std::string> names;
    int n = 0;
    for (; rows[n].name; n++) {
        names.insert(rows[n].name);
        const RibRequest *found = find_request(rows[n].name);
        ASSERT_NE(found, nullptr) << rows[n].name;
        EXPECT_STREQ(found->name, rows[n].name);
        EXPECT_EQ(found->code, rows[n].code);
        EXPECT_GE(found->slot, 0);
        EXPECT_LT(found->slot, REQUEST_HASH_SIZE);
        if (rows[n].code >= SIG_MAKE) {
            EXPECT_NE(found->syntax, nullptr) << rows[n].name;
        }
    }
    EXPECT_EQ(n, REQUEST_COUNT);
    EXPECT_EQ(names.size(), 100u);
    EXPECT_EQ(find_request("Spheer"), nullptr);
    EXPECT_EQ(find_request(""), nullptr);
    EXPECT_EQ(find_request(nullptr), nullptr);
    EXPECT_EQ(find_request("sphere"), nullptr);  // names are case-sensitive
}

TEST(RequestTable, HashAndSignatureCodes) {
    EXPECT_EQ(request_name_hash(nullptr), 0u);
    EXPECT_EQ(request_name_hash(""), 0u);
    EXPECT_EQ(request_name_hash("A"), 65u);
    EXPECT_EQ(request_name_hash("AB"), 65u * 16 + 66);
    // Long names fold the top bits back in and never set them.
    EXPECT_EQ(request_name_hash("MakeCubeFaceEnvironment") & 0xF0000000u, 0u);
    const struct {
        const char *name;
        int code;
    } spot[] = {{"Translate", 8}, {"Polygon", 16}, {"Color", 3}, {"Bound", 4}, {"Transform", 5},
                {"Format", 11}, {"Surface", 12}, {"Cone", 13}, {"Sphere", 14}, {"MakeShadow", 15},
                {"Basis", 17}, {"version", 6}, {"Hider", 12}, {"FrameBegin", 1}, {"Blobby", 16},
                {"Clipping", 7}, {"TextureCoordinates", 10}, {"ScreenWindow", 9}, {"SolidBegin", 2}};
    for (const auto &s : spot) {
        ASSERT_NE(find_request(s.name), nullptr) << s.name;
        EXPECT_EQ(find_request(s.name)->code, s.code) << s.name;
    }
    EXPECT_STREQ(request_table()[0].name, "Translate");
    EXPECT_STREQ(request_table()[99].name, "Blobby");
}

TEST(RequestDispatch, ArgumentErrorsAbandonTheRequest) {
    EXPECT_EQ(messages_of("FrameBegin \"x\"\n"),
              "Number expected\nInteger expected after FrameBegin\nRIB token unknown: \"x\"\n");
    EXPECT_EQ(messages_of("Surface 3\n"), "Quoted string expected\nBadly structured Surface\n");
    EXPECT_EQ(messages_of("Color [1 0]\nSides 2\n"), "Number expected\nBadly structured Color\n");
    EXPECT_EQ(messages_of("version 3.03\nColor 1 0 0\nTransform [1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1]\n"), "");
}

TEST(RequestDispatch, CommentsAndStructureComments) {
    EXPECT_EQ(messages_of("# a comment \"unterminated\n##RenderMan RIB-Structure 1.0\n##Include \"x.rib\"\n"
                          "##CameraOrientation 1 2 3\n##Shaders plastic, matte\n## \n##\nversion 3.03\n"),
              "");
    EXPECT_EQ(messages_of("##Include 5\n"), "Quoted string expected\n");
    // A program may write records through the RI; the renderer takes them.
    RiArchiveRecord(const_cast<RtToken>("comment"), "frame %d", 1);
}

TEST(RequestDispatch, ParameterListsByDeclaration) {
    EXPECT_EQ(messages_of("Surface \"plastic\" \"Ks\" [.5 .6]\n"),
              "Wrong amount of data in array: \"Ks\" (found 2, expected 1)\n");
    EXPECT_EQ(messages_of("Surface \"plastic\" \"Ks\" []\n"), "Wrong amount of data in array: \"Ks\" (found 0, expected 1)\n");
    EXPECT_EQ(messages_of("Surface \"plastic\" \"lightcolor\" [1 1 1 1]\n"),
              "Wrong amount of data in array: \"lightcolor\" (found 4, expected 3)\n");
    EXPECT_EQ(messages_of("Surface \"plastic\" \"foo\" 1 \"bar\" [\"a\" \"b\"]\n"),
              "Undeclared token \"foo\"\nUndeclared token \"bar\"\n");
    EXPECT_EQ(messages_of("Surface \"plastic\" \"foo\" [1 \"a\"]\n"),
              "Undeclared token \"foo\"\nUnexpected token: \"a\"\nUndeclared token \"a\"\nExtra ']'\n"
              "RIB token unknown: \"]\"\n");
    EXPECT_EQ(messages_of("Surface \"plastic\" \"uniform float Kx\" 1 \"float[2] v\" [1 2]\n"
                          "Option \"limits\" \"bucketsize\" [16 16]\n"),
              "");
    EXPECT_EQ(messages_of("Option \"limits\" \"bucketsize\" [16]\n"),
              "Wrong amount of data in array: \"bucketsize\" (found 1, expected 2)\n");
}

TEST(RequestDispatch, PairLimit) {
    std::string rib = "Attribute \"tinygrids\"";
    for (int i = 0; i < 600; i++) rib += " \"uniform float p" + std::to_string(i) + "\" " + std::to_string(i);
    std::string m = messages_of(rib + "\n");
    EXPECT_EQ(m.substr(0, 77), "Parsed too many token/value pairs: the first 510 are taken, the rest ignored\n");
    // Exactly 510 pairs are taken without complaint.
    rib = "Attribute \"tinygrids\"";
    for (int i = 0; i < 510; i++) rib += " \"uniform float p" + std::to_string(i) + "\" " + std::to_string(i);
    EXPECT_EQ(messages_of(rib + "\n"), "");
}

TEST(VertexLengths, SeveritiesAndFailure) {
    predeclare_tokens();
    ErrorRecorder rec;
    RibParamList list;
    static RtFloat values[12] = {};
    list.n = 2;
    list.tokens[0] = "P";
    list.counts[0] = 9;
    list.tokens[1] = "Cs";
    list.counts[1] = 3;
    list.values[0] = list.values[1] = values;
    EXPECT_TRUE(check_vertex_lengths(list, 3, 3, 1));
    list.counts[1] = 12;
    EXPECT_FALSE(check_vertex_lengths(list, 3, 3, 1));
    ASSERT_EQ(rec.errors().size(), 2u);
    EXPECT_EQ(rec.errors()[0].severity, RIE_ERROR);
    EXPECT_EQ(rec.errors()[0].code, RIE_SYNTAX);
    EXPECT_EQ(rec.errors()[1].severity, RIE_WARNING);
    // Counts whose product leaves any range still compare, never wrap.
    EXPECT_TRUE(check_vertex_lengths(list, INT64_MAX, INT64_MAX, INT64_MAX));
}

} // namespace
