#include "shading/texhandles.h"

#include <cstdint>

#include "ri/renderer.h"
#include "ri_common/symtab.h"
#include "ri/tokens.h"

namespace {

const unsigned TEXTURE_TABLE_BUCKETS = 127;

// Never destroyed at exit: its textures leave the tile cache as they go,
// and the cache must still be there then.
SymbolTable *&table()
{
    static SymbolTable *t = new SymbolTable(TEXTURE_TABLE_BUCKETS);
    return t;
}

// The textures of the names met last, by the interned name's address: a
// lookup of a name already met needs neither the interning nor the table.
// Emptied with the table.
struct Memo {
    const char *name = nullptr;
    Texture *texture = nullptr;
};
const unsigned MEMO_SLOTS = 64;
Memo memo[MEMO_SLOTS];

Memo &memo_slot(const char *name)
{
    return memo[(reinterpret_cast<uintptr_t>(name) >> 3) % MEMO_SLOTS];
}

void forget_memo()
{
    for (Memo &m : memo) m = Memo();
}

const Options *options()
{
    return current_renderer ? &current_renderer->options : nullptr;
}

} // namespace

Texture *find_texture(const char *name)
{
    if (!name || !*name) return nullptr;
    return static_cast<Texture *>(table()->lookup(NewToken(name)));
}

Texture *get_texture(const char *name, bool for_texture)
{
    if (!name || !*name) return nullptr;
    // Only an interned name is remembered: its text never changes.
    Memo &m = memo_slot(name);
    if (m.name == name) return m.texture->ready ? m.texture : nullptr;
    Texture *t = find_texture(name);
    if (!t) {
        // The entry stays after a failed open, so the file is reported and
        // searched for once.
        t = new Texture(NewToken(name));
        table()->insert(t);
        const Options *o = options();
        t->open(name, o ? o->texture_path : nullptr, for_texture);
    }
    if (t->key() == name) m = Memo{name, t};
    return t->ready ? t : nullptr;
}

void texture_lookup(const char *name, const float corners[8], float *result, const TextureArgs &args)
{
    if (Texture *t = get_texture(name, true))
        t->lookup(result, corners, args, args.measure != 0);
    else
        fill_channels(result, args, args.fill);
}

void environment_lookup(const char *name, const Point dirs[4], float *result, const TextureArgs &args)
{
    if (Texture *t = get_texture(name, true))
        t->environment_lookup(result, dirs, args, args.measure != 0);
    else
        fill_channels(result, args, args.fill);
}

float shadow_lookup(const char *name, const Point points[4], const TextureArgs &args)
{
    Texture *t = get_texture(name, false);
    return t ? t->shadow_lookup(points, args) : 0.0f;
}

void print_texture_stats(FILE *out)
{
    const Options *o = options();
    if (o && (o->verbosity & VERBOSE_STATS) && first_texture()) {
        std::fputs("Texture stats:\n", out);
        // Oldest first: the order in which the frame met them.
        Texture *t = first_texture();
        while (t->list_next) t = t->list_next;
        int count = 0;
        long probes = 0, misses = 0, collisions = 0;
        for (; t; t = t->list_prev) {
            ++count;
            std::fprintf(out, "  %d:%s:\t%ld probes, %ld missed, %ld collisions\n", count,
                         t->path ? t->path : t->key(), t->probes, t->misses, t->collisions);
            probes += t->probes;
            misses += t->misses;
            collisions += t->collisions;
        }
        std::fprintf(out, "  %d textures:\t%ld probes, %ld missed, %ld collisions\n", count, probes, misses,
                     collisions);
        std::fprintf(out, "  Texture memory: %ldk peak, %ldk now\n", texture_memory_peak() / 1024,
                     texture_memory_now() / 1024);
    }
    // Files may change between frames (shadow maps are remade): start afresh.
    forget_memo();
    delete table();
    table() = new SymbolTable(TEXTURE_TABLE_BUCKETS);
}
