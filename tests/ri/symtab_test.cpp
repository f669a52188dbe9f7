#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>

#include "ri_common/symtab.h"

namespace {

int live_entries = 0;

struct Counted : SymbolEntry {
    int value;
    Counted(const char *n, int v) : SymbolEntry(n), value(v) { live_entries++; }
    ~Counted() override { live_entries--; }
};

TEST(SymbolTable, HashOfNullAndEmptyIsZeroAndTopBitsClear)
{
    EXPECT_EQ(SymbolEntry::hash_name(nullptr), 0u);
    EXPECT_EQ(SymbolEntry::hash_name(""), 0u);
    EXPECT_EQ(SymbolEntry::hash_name("a"), 97u);
    EXPECT_EQ(SymbolEntry::hash_name("ab"), 97u * 16 + 98);
    std::string longname(200, '\xff');
    EXPECT_EQ(SymbolEntry::hash_name(longname.c_str()) & 0xF0000000u, 0u);
}

TEST(SymbolTable, DuplicatesRefusedOrShadowing)
{
    live_entries = 0;
    {
        SymbolTable t(101);
        auto *a = new Counted("x", 1);
        EXPECT_EQ(t.insert(a), 0);
        std::string copy = "x";
        auto *b = new Counted(copy.c_str(), 2);
        EXPECT_EQ(t.insert(b), 1);      // refused, still ours
        delete b;
        EXPECT_EQ(static_cast<Counted *>(t.lookup("x"))->value, 1);
        auto *c = new Counted("x", 3);
        EXPECT_EQ(t.insert(c, true), 1); // held, shadows the first
        EXPECT_EQ(static_cast<Counted *>(t.lookup("x"))->value, 3);
        EXPECT_EQ(t.next_visible(c), a);
        EXPECT_EQ(t.next_visible(a), nullptr);
        EXPECT_EQ(t.lookup("y"), nullptr);
    }
    EXPECT_EQ(live_entries, 0);
}

TEST(SymbolTable, ScopesHideAndRevealEntries)
{
    live_entries = 0;
    SymbolTable t(7);
    t.insert(new Counted("outer", 1));
    for (int i = 0; i < 10; i++) t.push_scope();
    EXPECT_NE(t.lookup("outer"), nullptr);
    t.pop_scope(0);
    t.push_scope();
    auto *inner = new Counted("inner", 2);
    t.insert(inner);
    auto *shadow = new Counted("outer", 3);
    t.insert(shadow, true);
    EXPECT_EQ(static_cast<Counted *>(t.lookup("outer"))->value, 3);
    EXPECT_EQ(t.lookup("inner"), inner);
    t.pop_scope(0);   // left linked, but invisible
    EXPECT_EQ(t.lookup("inner"), nullptr);
    EXPECT_EQ(static_cast<Counted *>(t.lookup("outer"))->value, 1);

    t.push_scope();
    auto *kept = new Counted("kept", 4);
    t.insert(kept);
    EXPECT_EQ(t.pop_scope(1), 9);
    EXPECT_EQ(t.lookup("kept"), nullptr);
    EXPECT_EQ(kept->next, nullptr);
    EXPECT_EQ(live_entries, 4);   // unlinked, not destroyed
    delete kept;
    while (t.scope_depth() > 0) t.pop_scope(0);
    EXPECT_EQ(t.current_scope, 0);
}

TEST(SymbolTable, FullScopeStackNests255Deep)
{
    SymbolTable t(13);
    t.insert(new Counted("g", 0));
    for (int i = 0; i < SymbolTable::MAX_SCOPES - 1; i++) t.push_scope();
    t.insert(new Counted("deep", 1));
    EXPECT_NE(t.lookup("g"), nullptr);
    EXPECT_NE(t.lookup("deep"), nullptr);
    EXPECT_EQ(t.scope_depth(), 255);
}

TEST(SymbolTable, RemoveLevelDestroysExactlyThatLevel)
{
    live_entries = 0;
    static const char *a[] = {"a0", "a1", "a2", "a3", "a4", "a5"};
    static const char *b[] = {"b0", "b1", "b2", "b3", "b4", "b5"};
    SymbolTable t(3);   // few buckets: entries of both levels share chains
    for (int i = 0; i < 6; i++) t.insert(new Counted(a[i], i));
    t.current_level = 1;
    for (int i = 0; i < 6; i++) t.insert(new Counted(b[i], i));
    t.remove_level(1);
    EXPECT_EQ(t.current_level, 0);
    EXPECT_EQ(live_entries, 6);
    int seen = 0;
    EXPECT_EQ(t.for_each([&](SymbolEntry *e) { EXPECT_EQ(e->name[0], 'a'); seen++; }), 3u);
    EXPECT_EQ(seen, 6);
    for (int i = 0; i < 6; i++) EXPECT_NE(t.lookup(a[i]), nullptr);
}

TEST(SymbolTable, StatisticsText)
{
    SymbolTable t(100);
    // "a", "b", "c" hash to 97, 98, 99: three distinct buckets
    t.insert(new Counted("a", 0));
    t.insert(new Counted("b", 0));
    t.insert(new Counted("c", 0));
    t.lookup("a");
    t.lookup("zz");
    std::ostringstream out;
    t.print_stats(out);
    EXPECT_EQ(out.str(),
              "Symbol table statistics:\n"
              "  3 entries added to table in 3 distinct buckets\n"
              "  3% of buckets used, avg. 1 entries per bucket.\n"
              "  2 total lookups, 1 found, 1 misses.\n"
              "  0 extra chain walking steps (1 probes per lookup)\n");
    SymbolTable empty(10);
    std::ostringstream out2;
    empty.print_stats(out2);
    EXPECT_EQ(out2.str().find("nan"), std::string::npos);
}

} // namespace
