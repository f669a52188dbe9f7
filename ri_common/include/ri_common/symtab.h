// A hashed symbol table with nested scopes, levels for bulk deletion and
// lookup statistics; shared by the renderer, the previewer, the compiler and
// the inspector.
#pragma once
#include <cstdint>
#include <ostream>

// One named entry; users derive their records from it. The table owns the
// entries it holds and destroys them through the virtual destructor.
class SymbolEntry {
public:
    // Stores the name (not copied) and its hash; level, scope and link are 0.
    explicit SymbolEntry(const char *name);
    virtual ~SymbolEntry() = default;
    SymbolEntry(const SymbolEntry &) = delete;
    SymbolEntry &operator=(const SymbolEntry &) = delete;

    // ELF string hash; a null name hashes to 0. The top four bits are always 0.
    static uint32_t hash_name(const char *name);
    // The scope id the entry was inserted under.
    int scope() const { return scope_id; }
    // The key string of the entry.
    const char *key() const { return name; }

    const char *name;
    uint32_t hash;
    int level;
    int scope_id;
    SymbolEntry *next;
};

class SymbolTable {
public:
    static const int MAX_SCOPES = 256;

    // An empty table of nbuckets chains (5003 for dictionaries, 12289 for string pools).
    explicit SymbolTable(unsigned nbuckets);
    // Destroys every entry still linked.
    ~SymbolTable();
    SymbolTable(const SymbolTable &) = delete;
    SymbolTable &operator=(const SymbolTable &) = delete;

    // Links entry at the head of its bucket under the current scope and level.
    // Returns 1 when an entry of that name exists already (in any scope); without
    // allow_duplicate the entry is then not inserted and stays the caller's.
    int insert(SymbolEntry *entry, bool allow_duplicate = false);
    // The newest visible entry of that name, or null.
    SymbolEntry *lookup(const char *name);
    // The next visible entry after entry with the same name, or null.
    SymbolEntry *next_visible(const SymbolEntry *entry) const;
    // Destroys every entry inserted at level, then makes level - 1 current.
    void remove_level(int level);
    // Opens a nested scope; returns the scope id that was current.
    int push_scope();
    // Closes the current scope; with unlink its entries leave their chains
    // (not destroyed: their owner keeps them). Returns the new depth.
    int pop_scope(int unlink = 0);
    // Writes the lookup statistics and flushes the stream.
    void print_stats(std::ostream &out) const;
    // Calls fn with every entry, bucket by bucket; returns the bucket count.
    template <class Fn> unsigned for_each(Fn fn) const {
        if (!buckets) return 0;
        for (unsigned i = 0; i < nbuckets; i++)
            for (SymbolEntry *e = buckets[i]; e; e = e->next) fn(e);
        return nbuckets;
    }

    int current_level = 0;     // written by users to group entries for remove_level
    int current_scope = 0;     // id of the innermost open scope

    // Statistics.
    int nlookups = 0, nfound = 0, nmisses = 0, nextra_steps = 0, nadded = 0, nbuckets_used = 0;

    int scope_depth() const { return depth; }

private:
    bool visible(int scope_id) const;

    SymbolEntry **buckets;
    unsigned nbuckets;
    int next_scope = 1;
    int scope_stack[MAX_SCOPES];
    int depth = 0;
};
