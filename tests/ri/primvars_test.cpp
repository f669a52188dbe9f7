#include <gtest/gtest.h>

#include <cstring>

#include "ri/declarations.h"
#include "ri/primvars.h"
#include "ri_common/rierror.h"
#include "ri/stdtokens.h"
#include "ri/tokens.h"
#include "tests/ri/error_capture.h"

namespace {

using velktest::ErrorCapture;

struct Params {
    std::vector<RtToken> tokens;
    std::vector<RtPointer> values;
    void add(const char *t, const void *v) {
        tokens.push_back(t);
        values.push_back(const_cast<void *>(v));
    }
    int n() const { return (int)tokens.size(); }
};

TEST(PrimVars, WordCountsByStorageClass)
{
    predeclare_tokens();
    RiDeclare("u3", "uniform float");
    RiDeclare("c1", "constant float");
    RiDeclare("vm", "vertex matrix");
    float P[12] = {0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0}, Cs[12] = {}, big[64] = {};
    for (int i = 0; i < 12; i++) Cs[i] = (float)i;
    Params p;
    p.add("P", P);
    p.add("Cs", Cs);
    p.add("u3", big);
    p.add("c1", big);
    p.add("vm", big);
    VertexVarList list;
    ErrorCapture errors;
    EXPECT_EQ(build_vertex_var_list(list, 4, 4, 3, POSITION_P, p.n(), p.tokens.data(), p.values.data()), 0);
    EXPECT_TRUE(errors.reports.empty());
    EXPECT_EQ(list.find_entry(tok::P)->words(), 12);
    EXPECT_EQ(list.find_entry(tok::Cs)->words(), 12);
    EXPECT_EQ(list.find_entry(NewToken("u3"))->words(), 3);
    EXPECT_EQ(list.find_entry(NewToken("c1"))->words(), 1);
    EXPECT_EQ(list.find_entry(NewToken("vm"))->words(), 64);
    EXPECT_EQ(static_cast<float *>(list.find(tok::Cs))[11], 11);
    // order preserved, newest first
    EXPECT_EQ(list.head->token, NewToken("vm"));
    float *taken = static_cast<float *>(list.take(tok::P));
    ASSERT_NE(taken, nullptr);
    EXPECT_EQ(taken[3], 1);
    EXPECT_EQ(list.find(tok::P), nullptr);
    free(taken);
}

TEST(PrimVars, StringsAreInternedAndIntegersStayIntegers)
{
    predeclare_tokens();
    RiDeclare("names", "uniform string");
    RiDeclare("ids", "varying integer");
    std::string a = "alpha", b = "beta";
    const char *strs[2] = {a.c_str(), b.c_str()};
    int ids[2] = {7, 1 << 30};
    Params p;
    p.add("names", strs);
    p.add("ids", ids);
    VertexVarList list;
    build_vertex_var_list(list, 2, 2, 2, POSITION_NONE, p.n(), p.tokens.data(), p.values.data());
    RtString *s = static_cast<RtString *>(list.find(NewToken("names")));
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s[0], NewToken("alpha"));
    EXPECT_EQ(s[1], NewToken("beta"));
    int *iv = static_cast<int *>(list.find(NewToken("ids")));
    EXPECT_EQ(iv[1], 1 << 30);
    VertexVarList copy;
    copy_vertex_var_list(copy, list);
    EXPECT_EQ(static_cast<RtString *>(copy.find(NewToken("names")))[1], NewToken("beta"));
    EXPECT_NE(copy.find(NewToken("ids")), list.find(NewToken("ids")));
}

TEST(PrimVars, PositionRulesAndUndeclaredTokens)
{
    predeclare_tokens();
    float P[12] = {};
    ErrorCapture errors;
    {
        Params p;
        p.add("bogus", P);
        p.add("Cs", P);
        VertexVarList list;
        EXPECT_EQ(build_vertex_var_list(list, 4, 4, 1, POSITION_P, p.n(), p.tokens.data(), p.values.data()), 1);
        EXPECT_EQ(errors.reports.at(0).message, "Token bogus not declared");
        EXPECT_EQ(errors.reports.at(1).message, "\"P\" parameter needed.");
        EXPECT_NE(list.find(tok::Cs), nullptr);   // the rest still arrives
    }
    errors.clear();
    {
        Params p;
        p.add("Pw", P);
        VertexVarList list;
        EXPECT_EQ(build_vertex_var_list(list, 3, 3, 1, POSITION_P, p.n(), p.tokens.data(), p.values.data()), 1);
        EXPECT_EQ(errors.reports.at(0).message, "\"Pw\" not accepted");
    }
    errors.clear();
    {
        Params p;
        p.add("P", P);
        VertexVarList list;
        EXPECT_EQ(build_vertex_var_list(list, 3, 3, 1, POSITION_NONE, p.n(), p.tokens.data(), p.values.data()), 1);
        EXPECT_EQ(errors.reports.at(0).message, "\"P\" not accepted");
    }
    errors.clear();
    {
        Params p;
        p.add("Pz", P);
        VertexVarList list;
        EXPECT_EQ(build_vertex_var_list(list, 3, 3, 1, POSITION_ANY, p.n(), p.tokens.data(), p.values.data()), 0);
        EXPECT_TRUE(errors.reports.empty());
        Params none;
        VertexVarList empty;
        EXPECT_EQ(build_vertex_var_list(empty, 3, 3, 1, POSITION_ANY, 0, none.tokens.data(), none.values.data()), 1);
        EXPECT_EQ(errors.reports.at(0).message, "P/Pw/Pz parameter needed.");
        EXPECT_EQ(errors.reports.at(0).code, RIE_MISSINGDATA);
    }
}

TEST(PrimVars, PoolAndStatistics)
{
    predeclare_tokens();
    int64_t before = vvdata_counter().current;
    {
        VertexVarList list;
        float v = 1;
        for (int i = 0; i < 40; i++) list.push_front(new VVData(tok::s, DECL_FLOAT, DETAIL_CONSTANT, 1, &v, 1));
        EXPECT_EQ(vvdata_counter().current, before + 40);
    }
    EXPECT_EQ(vvdata_counter().current, before);
    char buf[512] = {};
    FILE *f = fmemopen(buf, sizeof buf, "w");
    print_vertex_var_stats(f);
    fclose(f);
    EXPECT_EQ(std::string(buf).rfind("Vertex vector stats:\n    VVData entries: ", 0), 0u);
}

} // namespace
