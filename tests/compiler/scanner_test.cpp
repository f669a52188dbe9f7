#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "compiler/driver.h"
#include "compiler/lexer.h"
#include "compiler/messages.h"
#include "compiler/nodes.h"
#include "grammar.hpp"
#include "tests/ri/stderr_capture.h"

namespace {

struct Tok {
    int code;
    std::string text;   // identifiers and strings
    float number;
    int line;
    std::string file;
};

// Scans text to the end.
std::vector<Tok> scan(const std::string &text)
{
    murn::begin_compilation();
    std::FILE *in = fmemopen(const_cast<char *>(text.data()), text.size(), "r");
    murn::scanner_start(in);
    std::vector<Tok> out;
    while (int code = yylex()) {
        Tok t{code, "", 0, murn::current_line, murn::current_file ? murn::current_file : ""};
        if (code == IDENTIFIER || code == STRINGLIT)
            t.text = yylval.text;
        if (code == NUMBER)
            t.number = yylval.number;
        out.push_back(t);
    }
    murn::scanner_finish();
    std::fclose(in);
    return out;
}

std::vector<int> codes(const std::vector<Tok> &toks)
{
    std::vector<int> out;
    for (const Tok &t : toks)
        out.push_back(t.code);
    return out;
}

class Scanner : public ::testing::Test {
protected:
    void TearDown() override { murn::end_compilation(); }
};

} // namespace

TEST_F(Scanner, KeywordsIdentifiersAndTheirFixedCodes)
{
    auto toks = scan("float x floatx Float matrixinv matrix return illuminance texture");
    EXPECT_EQ(codes(toks), (std::vector<int>{261, 258, 258, 258, 268, 267, 294, 276, 287}));
    EXPECT_EQ(toks[1].text, "x");
    EXPECT_EQ(toks[2].text, "floatx");
    // Identifiers are interned: the same text is the same pointer.
    murn::begin_compilation();
    std::string s = "abc abc";
    std::FILE *in = fmemopen(&s[0], s.size(), "r");
    murn::scanner_start(in);
    yylex();
    const char *first = yylval.text;
    yylex();
    EXPECT_EQ(first, yylval.text);
    murn::scanner_finish();
    std::fclose(in);
}

TEST_F(Scanner, NumbersTakeTheLongestMatch)
{
    auto toks = scan("1.5.3 1e 010 5. 1.e5 .5 1E+2 'a' '\\n'");
    ASSERT_EQ(codes(toks), (std::vector<int>{259, 259, 259, 258, 259, 259, 259, 259, 259, 259, 259}));
    EXPECT_FLOAT_EQ(toks[0].number, 1.5f);
    EXPECT_FLOAT_EQ(toks[1].number, 0.3f);
    EXPECT_FLOAT_EQ(toks[2].number, 1.0f);
    EXPECT_EQ(toks[3].text, "e");
    EXPECT_FLOAT_EQ(toks[4].number, 10.0f);
    EXPECT_FLOAT_EQ(toks[5].number, 5.0f);
    EXPECT_FLOAT_EQ(toks[6].number, 1e5f);
    EXPECT_FLOAT_EQ(toks[7].number, 0.5f);
    EXPECT_FLOAT_EQ(toks[8].number, 100.0f);
    EXPECT_FLOAT_EQ(toks[9].number, 0.0f);
    EXPECT_FLOAT_EQ(toks[10].number, 0.0f);
}

TEST_F(Scanner, NumbersBeyondTheFloatRangeAreErrors)
{
    StderrCapture capture;
    scan("1e39 3.4e38");
    std::string err = capture.finish();
    EXPECT_EQ(murn::error_flag, 1);
    EXPECT_NE(err.find("1e39"), std::string::npos) << err;
    EXPECT_EQ(err.find("3.4e38"), std::string::npos) << err;
}

TEST_F(Scanner, OperatorsStringsAndStrayCharacters)
{
    auto toks = scan("+= -= *= /= || && == != >= <= < + $ \"a\\\"b\\n\" \"open");
    EXPECT_EQ(codes(toks), (std::vector<int>{295, 296, 297, 298, 299, 300, 301, 302, 303, 304,
                                             '<', '+', '$', 260, '"', 258}));
    EXPECT_EQ(toks[13].text, "a\\\"b\\n");   // escapes kept as written
}

TEST_F(Scanner, LineMarkersSetFileAndLine)
{
    auto toks = scan("a\n# 7 \"inc.h\" 1\nb\n  #pragma once\nc\n#ident \"x\"\nd\\\n e\n# 3 \"t.sl\" 2\nf");
    ASSERT_EQ(toks.size(), 6u);
    EXPECT_EQ(toks[0].line, 1);
    EXPECT_EQ(toks[0].file, "");
    EXPECT_EQ(toks[1].line, 7);
    EXPECT_EQ(toks[1].file, "inc.h");
    // Directives the preprocessor passes on occupy their own line.
    EXPECT_EQ(toks[2].line, 9);
    EXPECT_EQ(toks[3].line, 11);
    EXPECT_EQ(toks[4].line, 12);   // after a backslash-newline
    EXPECT_EQ(toks[5].line, 3);
    EXPECT_EQ(toks[5].file, "t.sl");
    // A '#' inside a line is an ordinary character.
    EXPECT_EQ(codes(scan("x # 5")), (std::vector<int>{258, '#', 259}));
}
