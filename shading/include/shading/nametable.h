// A growable table of (interned name, record) pairs searched newest first:
// the interpreter's op table and global-variable table. A load adds one
// shader's symbols and cuts the table back afterwards with set_count.
#pragma once
#include <cstdio>
#include <vector>

class NameTable {
public:
    NameTable() { entries_.reserve(256); }
    // Adds the pair unless an equal name is present: then 1 and nothing added, else 0.
    int add(const char *name, void *record);
    // Adds the pair even when the name is present: it hides the older entry
    // until the table is cut back below it.
    void add_hiding(const char *name, void *record);
    // The record of the newest entry with an equal name, or null.
    void *lookup(const char *name) const;
    // The record of the oldest entry with an equal name (one that may be hidden), or null.
    void *lookup_oldest(const char *name) const;
    int count() const { return static_cast<int>(entries_.size()); }
    // Truncates to n entries.
    void set_count(int n);
    // "Dumping symbol table:" and one line per entry.
    void dump(FILE *out) const;

private:
    struct Entry {
        const char *name;
        void *record;
    };
    std::vector<Entry> entries_;
};
