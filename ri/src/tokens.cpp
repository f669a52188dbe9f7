#include "ri/tokens.h"

#include <cstring>

#include "ri_common/symtab.h"

namespace {

// Short strings are packed into blocks of this size.
const int POOL_BLOCK = 1023;
// Strings of this many bytes (with the terminator) or more get their own allocation.
const size_t OWN_ALLOCATION = 17;

struct StringPool {
    StringPool *next;
    int used;
    char chars[POOL_BLOCK];
};

struct StringEntry : SymbolEntry {
    bool owned;   // the copy has an allocation of its own
    StringEntry(const char *copy, bool own) : SymbolEntry(copy), owned(own) {}
    ~StringEntry() override
    {
        if (owned) delete[] name;
    }
};

SymbolTable *string_table = nullptr;
StringPool *pools = nullptr;

} // namespace

StatCounter &string_memory()
{
    static StatCounter counter;
    return counter;
}

void init_string_table()
{
    if (!string_table) string_table = new SymbolTable(12289);
}

RtToken NewToken(const char *s)
{
    if (!s) return nullptr;
    init_string_table();
    if (SymbolEntry *e = string_table->lookup(s)) return e->name;
    size_t n = strlen(s);
    char *copy;
    bool own = n + 1 >= OWN_ALLOCATION;
    if (own) {
        copy = new char[n + 1];
    } else {
        StringPool *p = pools;
        while (p && p->used + (int)n + 2 > POOL_BLOCK) p = p->next;
        if (!p) {
            p = new StringPool;
            p->next = pools;
            p->used = 0;
            pools = p;
        }
        copy = p->chars + p->used;
        p->used += (int)n + 1;
    }
    memcpy(copy, s, n + 1);
    string_table->insert(new StringEntry(copy, own));
    string_memory().add((int64_t)n + 25);
    return copy;
}
