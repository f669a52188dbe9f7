#include <gtest/gtest.h>

#include <string>

#include "ri/declarations.h"
#include "ri/stdtokens.h"
#include "ri/tokens.h"
#include "tests/ri/error_capture.h"

namespace {

TEST(Tokens, OneStoredCopyPerText)
{
    std::string a = "x", b = "x";
    EXPECT_EQ(NewToken(a.c_str()), NewToken(b.c_str()));
    EXPECT_NE(NewToken(a.c_str()), a.c_str());
    std::string s15(15, 'q'), s16(16, 'r'), s2000(2000, 'z');
    RtToken t15 = NewToken(s15.c_str()), t16 = NewToken(s16.c_str()), tbig = NewToken(s2000.c_str());
    EXPECT_EQ(std::string(t15), s15);
    EXPECT_EQ(std::string(t16), s16);
    EXPECT_EQ(std::string(tbig), s2000);
    EXPECT_EQ(NewToken(s2000.c_str()), tbig);
    EXPECT_EQ(NewToken(nullptr), nullptr);
    // many short strings fill several pool blocks without overlapping
    std::vector<RtToken> toks;
    for (int i = 0; i < 500; i++) toks.push_back(NewToken(("tok" + std::to_string(i)).c_str()));
    for (int i = 0; i < 500; i++) EXPECT_EQ(std::string(toks[i]), "tok" + std::to_string(i));
}

TEST(Declarations, ParseClassesTypesAndLengths)
{
    DeclarationTable t(101);
    RtToken km = t.declare("Km", "varying float", nullptr, false);
    EXPECT_EQ(km, NewToken("Km"));
    t.declare("Km", "uniform color", nullptr, false);
    Declaration *d = t.lookup("Km");
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->detail, DETAIL_UNIFORM);
    EXPECT_EQ(d->type, DECL_COLOR);
    EXPECT_EQ(d->size(), 12);
    int count = 0;
    t.for_each([&](SymbolEntry *) { count++; });
    EXPECT_EQ(count, 1);   // redeclaration replaces

    t.declare("f4", "float[4]", nullptr, false);
    EXPECT_EQ(t.lookup("f4")->size(), 16);
    EXPECT_EQ(t.lookup("f4")->detail, DETAIL_UNIFORM);
    EXPECT_EQ(t.lookup("f4")->words(), 4);
    t.declare("m", "matrix", nullptr, false);
    EXPECT_EQ(t.lookup("m")->size(), 64);
    t.declare("i1", "int", nullptr, false);
    t.declare("i2", "  vertex integer", nullptr, false);
    EXPECT_EQ(t.lookup("i1")->type, DECL_INTEGER);
    EXPECT_EQ(t.lookup("i2")->type, DECL_INTEGER);
    EXPECT_EQ(t.lookup("i2")->detail, DETAIL_VERTEX);
    t.declare("str", "string", nullptr, false);
    EXPECT_EQ(t.lookup("str")->size(), (int)sizeof(char *));
    EXPECT_EQ(t.lookup("str")->words(), 1);
    t.declare("odd", "uniform blob", nullptr, false);
    EXPECT_EQ(t.lookup("odd")->type, DECL_UNKNOWN);
    EXPECT_EQ(t.lookup("odd")->size(), 0);
    EXPECT_EQ(t.lookup("never"), nullptr);

    char buf[64];
    format_declaration(buf, sizeof buf, DETAIL_VARYING, DECL_COLOR, 1);
    EXPECT_STREQ(buf, "varying color");
    format_declaration(buf, sizeof buf, DETAIL_VARYING, DECL_COLOR, 3);
    EXPECT_STREQ(buf, "varying color[3]");
    EXPECT_STREQ(decl_type_name(42), "");
    EXPECT_STREQ(decl_detail_name(0), "");
}

TEST(Declarations, InvalidLengthsAreRefused)
{
    velktest::ErrorCapture errors;
    DeclarationTable t(101);
    t.declare("a0", "float[0]", nullptr, false);
    t.declare("a1", "float[70000]", nullptr, false);
    t.declare("a2", "float[-3]", nullptr, false);
    EXPECT_EQ(t.lookup("a0"), nullptr);
    EXPECT_EQ(t.lookup("a1"), nullptr);
    EXPECT_EQ(t.lookup("a2"), nullptr);
    EXPECT_EQ(errors.count(), 3u);
    t.declare("ok", "float[65535]", nullptr, false);
    EXPECT_EQ(t.lookup("ok")->length, 65535);
}

TEST(Declarations, InlineDeclarationsKeyedByFullText)
{
    velktest::ErrorCapture errors;
    DeclarationTable t(101);
    EXPECT_EQ(inline_declaration_length("uniform float Km"), 14);
    EXPECT_EQ(inline_declaration_length("Km"), 0);
    EXPECT_EQ(inline_declaration_length("float[3] v"), 9);
    EXPECT_EQ(inline_declaration_length("floaty"), 0);

    Declaration *d = t.lookup("uniform float Km");
    ASSERT_NE(d, nullptr);
    EXPECT_STREQ(d->name(), "Km");
    EXPECT_EQ(d->name(), NewToken("Km"));
    EXPECT_STREQ(d->key(), "uniform float Km");
    EXPECT_EQ(t.lookup("uniform float Km"), d);   // found again, not redeclared
    EXPECT_EQ(t.lookup("Km"), nullptr);           // the bare name stays undeclared
    Declaration *p = t.lookup("vertex point P");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->detail, DETAIL_VERTEX);
    EXPECT_EQ(p->type, DECL_POINT);
    EXPECT_STREQ(p->name(), "P");
    Declaration *arr = t.lookup("  varying float[2] uv");
    ASSERT_NE(arr, nullptr);
    EXPECT_EQ(arr->length, 2);
    EXPECT_EQ(arr->detail, DETAIL_VARYING);
    EXPECT_TRUE(errors.reports.empty());

    // a class without a type, or no name, is not a declaration
    EXPECT_EQ(t.lookup("uniform Km"), nullptr);
    EXPECT_EQ(t.lookup("varying float "), nullptr);
    std::string longwords;
    for (int i = 0; i < 10; i++) longwords += "uniform float[12345678] ";
    EXPECT_EQ(t.lookup((longwords + "x").c_str()), nullptr);
    EXPECT_EQ(errors.count(), 3u);
}

TEST(Declarations, StandardTokens)
{
    predeclare_tokens();
    EXPECT_EQ(tok::P, NewToken("P"));
    EXPECT_EQ(tok::catmull_rom, NewToken("catmull-rom"));
    EXPECT_EQ(tok::category, NewToken("__category"));
    // The C binding's names are the renderer's interned tokens.
    EXPECT_EQ(RI_P, tok::P);
    EXPECT_EQ(RI_KD, tok::Kd);
    EXPECT_EQ(RI_NONPERIODIC, NewToken("nonperiodic"));
    EXPECT_EQ(RI_ST, NewToken("st"));
    Declaration *p = declarations().lookup("P");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->detail, DETAIL_VERTEX);
    EXPECT_EQ(p->type, DECL_POINT);
    EXPECT_EQ(declarations().lookup("st")->length, 2);
    EXPECT_EQ(declarations().lookup("st")->detail, DETAIL_VARYING);
    EXPECT_EQ(declarations().lookup("windowlocation")->type, DECL_INTEGER);
    EXPECT_EQ(declarations().lookup("enable gaussian")->type, DECL_INTEGER);
    EXPECT_EQ(declarations().lookup("transform")->size(), 64);
    EXPECT_EQ(declarations().lookup("box"), nullptr);   // interned only
    EXPECT_EQ(declarations().lookup("world"), nullptr);
    int declared = 0;
#define COUNT_DECLARED(var, text, decl) if ((decl) && declarations().lookup(text)) declared++;
    VELK_STANDARD_TOKENS(COUNT_DECLARED)
#undef COUNT_DECLARED
    EXPECT_EQ(declared, 174);
}

} // namespace
