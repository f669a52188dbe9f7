#include "ri_common/symtab.h"

#include <cstdio>
#include <cstring>

#include "ri_common/rierror.h"

SymbolEntry::SymbolEntry(const char *n)
    : name(n), hash(hash_name(n)), level(0), scope_id(0), next(nullptr) {}

uint32_t SymbolEntry::hash_name(const char *name)
{
    uint32_t h = 0;
    if (!name) return 0;
    for (const unsigned char *p = (const unsigned char *)name; *p; p++) {
        h = (h << 4) + *p;
        uint32_t g = h & 0xF0000000u;
        if (g) h ^= g ^ (g >> 24);
    }
    return h;
}

static bool same_name(const char *a, const char *b)
{
    return a == b || (a && b && strcmp(a, b) == 0);
}

SymbolTable::SymbolTable(unsigned n) : buckets(nullptr), nbuckets(n)
{
    if (nbuckets) buckets = new SymbolEntry *[nbuckets]();
    scope_stack[0] = 0;
}

SymbolTable::~SymbolTable()
{
    for (unsigned i = 0; i < nbuckets; i++) {
        while (SymbolEntry *e = buckets[i]) {
            buckets[i] = e->next;
            delete e;
        }
    }
    delete[] buckets;
}

bool SymbolTable::visible(int id) const
{
    if (id == current_scope) return true;
    for (int i = depth; i >= 0; i--)
        if (scope_stack[i] == id) return true;
    return false;
}

int SymbolTable::insert(SymbolEntry *entry, bool allow_duplicate)
{
    RI_ASSERT(buckets != nullptr, "symtab");
    unsigned b = entry->hash % nbuckets;
    int result = 0;
    for (SymbolEntry *e = buckets[b]; e; e = e->next) {
        if (e->hash == entry->hash && same_name(e->name, entry->name)) {
            if (!allow_duplicate) return 1;
            result = 1;
            break;
        }
    }
    entry->scope_id = current_scope;
    entry->level = current_level;
    if (!buckets[b]) nbuckets_used++;
    entry->next = buckets[b];
    buckets[b] = entry;
    nadded++;
    return result;
}

SymbolEntry *SymbolTable::lookup(const char *name)
{
    nlookups++;
    if (!buckets) {
        nmisses++;
        return nullptr;
    }
    uint32_t h = SymbolEntry::hash_name(name);
    for (SymbolEntry *e = buckets[h % nbuckets]; e; e = e->next) {
        if (e->hash == h && same_name(e->name, name) && visible(e->scope_id)) {
            nfound++;
            return e;
        }
        nextra_steps++;
    }
    nmisses++;
    return nullptr;
}

SymbolEntry *SymbolTable::next_visible(const SymbolEntry *entry) const
{
    if (!entry) return nullptr;
    for (SymbolEntry *e = entry->next; e; e = e->next) {
        if (!same_name(e->name, entry->name)) continue;
        if (e->scope_id == entry->scope_id) return e;
        for (int i = depth; i >= 0; i--)
            if (scope_stack[i] == e->scope_id) return e;
    }
    return nullptr;
}

void SymbolTable::remove_level(int level)
{
    for (unsigned i = 0; i < nbuckets; i++) {
        SymbolEntry **link = &buckets[i];
        while (SymbolEntry *e = *link) {
            if (e->level == level) {
                *link = e->next;
                delete e;
            } else {
                link = &e->next;
            }
        }
    }
    current_level = level - 1;
}

int SymbolTable::push_scope()
{
    RI_ASSERT(depth + 1 < MAX_SCOPES, "symtab");
    int was = current_scope;
    scope_stack[++depth] = current_scope;
    current_scope = next_scope++;
    return was;
}

int SymbolTable::pop_scope(int unlink)
{
    RI_ASSERT(depth > 0, "symtab");
    int outer = scope_stack[depth];
    if (unlink) {
        for (unsigned i = 0; i < nbuckets; i++) {
            SymbolEntry **link = &buckets[i];
            while (SymbolEntry *e = *link) {
                if (e->scope_id == current_scope) {
                    *link = e->next;
                    e->next = nullptr;
                } else {
                    link = &e->next;
                }
            }
        }
    }
    current_scope = outer;
    return --depth;
}

void SymbolTable::print_stats(std::ostream &out) const
{
    char line[256];
    out << "Symbol table statistics:\n";
    snprintf(line, sizeof line, "  %d entries added to table in %d distinct buckets\n",
             nadded, nbuckets_used);
    out << line;
    // Empty tables would divide by zero; they report 0 instead.
    double used = nbuckets ? nbuckets_used * 100.0 / nbuckets : 0.0;
    double avg = nbuckets_used ? (double)nadded / nbuckets_used : 0.0;
    snprintf(line, sizeof line, "  %g%% of buckets used, avg. %g entries per bucket.\n", used, avg);
    out << line;
    snprintf(line, sizeof line, "  %d total lookups, %d found, %d misses.\n",
             nlookups, nfound, nmisses);
    out << line;
    double probes = nlookups ? (double)nextra_steps / nlookups + 1.0 : 1.0;
    snprintf(line, sizeof line, "  %d extra chain walking steps (%g probes per lookup)\n",
             nextra_steps, probes);
    out << line;
    out.flush();
}
