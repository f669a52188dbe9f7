#include "shading/nametable.h"

#include <cstring>

#include "ri/tokens.h"

int NameTable::add(const char *name, void *record)
{
    if (lookup(name)) return 1;
    entries_.push_back({NewToken(name), record});
    return 0;
}

void NameTable::add_hiding(const char *name, void *record)
{
    entries_.push_back({NewToken(name), record});
}

void *NameTable::lookup(const char *name) const
{
    if (!name) return nullptr;
    for (auto it = entries_.rbegin(); it != entries_.rend(); ++it)
        if (std::strcmp(it->name, name) == 0) return it->record;
    return nullptr;
}

void *NameTable::lookup_oldest(const char *name) const
{
    if (!name) return nullptr;
    for (const Entry &e : entries_)
        if (std::strcmp(e.name, name) == 0) return e.record;
    return nullptr;
}

void NameTable::set_count(int n)
{
    if (n >= 0 && n < count()) entries_.resize(n);
}

void NameTable::dump(FILE *out) const
{
    std::fprintf(out, "Dumping symbol table:\n");
    std::fprintf(out, "---------------------\n");
    for (int i = 0; i < count(); ++i) std::fprintf(out, "%d: %s\n", i, entries_[i].name);
}
