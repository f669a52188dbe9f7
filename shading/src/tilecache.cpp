#include "shading/tilecache.h"

#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "ri/renderer.h"
#include "ri_common/rierror.h"
#include "shading/texture.h"
#include "shading_files/tiffimage.h"

namespace {

const long DEFAULT_TEXTURE_MEMORY = 10485760;
// Smallest tile buffer.
const size_t MIN_TILE_BUFFER = 4096;

// Lives to the end of the process, so textures destroyed at exit can still
// leave it.
std::vector<TileCacheEntry> &cache()
{
    static std::vector<TileCacheEntry> *slots = new std::vector<TileCacheEntry>;
    return *slots;
}

// The entries of the two previous successful accesses (a blend between
// mipmap levels alternates between two tiles).
TileCacheEntry *last_tile = nullptr, *other_tile = nullptr;

void remember_tile(TileCacheEntry *e)
{
    if (e != last_tile) other_tile = last_tile;
    last_tile = e;
}

void create_cache()
{
    long bytes = current_renderer ? current_renderer->options.texturememory : DEFAULT_TEXTURE_MEMORY;
    long n = bytes / TILE_SLOT_BYTES;
    if (n < 1) n = 1;
    cache().resize(size_t(n));
    if (texture_verbose()) std::printf("Creating texture cache with %ld tiles\n", n);
    count_texture_memory(long(n * sizeof(TileCacheEntry)));
}

bool holds(const TileCacheEntry &e, const MipLevel &level, int x, int y)
{
    return e.texture && e.level == &level && e.x == x && e.y == y;
}

// Tiles across a level (a partial tile at the edge counts).
int tiles_across(const MipLevel &level)
{
    return (level.width + level.tile_width - 1) / level.tile_width;
}

#define MIX(a, b, c)                \
    do {                            \
        a -= b; a -= c; a ^= c >> 13; \
        b -= c; b -= a; b ^= a << 8;  \
        c -= a; c -= b; c ^= b >> 13; \
        a -= b; a -= c; a ^= c >> 12; \
        b -= c; b -= a; b ^= a << 16; \
        c -= a; c -= b; c ^= b >> 5;  \
        a -= b; a -= c; a ^= c >> 3;  \
        b -= c; b -= a; b ^= a << 10; \
        c -= a; c -= b; c ^= b >> 15; \
    } while (0)

uint32_t word_le(const unsigned char *k)
{
    return uint32_t(k[0]) | uint32_t(k[1]) << 8 | uint32_t(k[2]) << 16 | uint32_t(k[3]) << 24;
}

} // namespace

uint32_t hash_string(const void *bytes, size_t length, uint32_t initial)
{
    const unsigned char *k = static_cast<const unsigned char *>(bytes);
    uint32_t a = 0x9e3779b9u, b = 0x9e3779b9u, c = initial;
    size_t len = length;
    while (len >= 12) {
        a += word_le(k);
        b += word_le(k + 4);
        c += word_le(k + 8);
        MIX(a, b, c);
        k += 12;
        len -= 12;
    }
    c += uint32_t(length);
    switch (len) {
    case 11: c += uint32_t(k[10]) << 24; [[fallthrough]];
    case 10: c += uint32_t(k[9]) << 16; [[fallthrough]];
    case 9: c += uint32_t(k[8]) << 8; [[fallthrough]];
    case 8: b += uint32_t(k[7]) << 24; [[fallthrough]];
    case 7: b += uint32_t(k[6]) << 16; [[fallthrough]];
    case 6: b += uint32_t(k[5]) << 8; [[fallthrough]];
    case 5: b += k[4]; [[fallthrough]];
    case 4: a += uint32_t(k[3]) << 24; [[fallthrough]];
    case 3: a += uint32_t(k[2]) << 16; [[fallthrough]];
    case 2: a += uint32_t(k[1]) << 8; [[fallthrough]];
    case 1: a += k[0]; [[fallthrough]];
    default: break;
    }
    MIX(a, b, c);
    return c;
}

int tile_cache_slots()
{
    return int(cache().size());
}

void forget_texture_tiles(const Texture *texture)
{
    for (TileCacheEntry &e : cache())
        if (e.texture == texture) {
            // The buffer stays for the next tile; only the owner goes.
            e.texture = nullptr;
            e.level = nullptr;
        }
    if (last_tile && !last_tile->texture) last_tile = nullptr;
    if (other_tile && !other_tile->texture) other_tile = nullptr;
}

TileCacheEntry *Texture::get_tile(const MipLevel &level, int x, int y)
{
    RI_ASSERT(x >= 0 && y >= 0 && x < level.width && y < level.height && x % level.tile_width == 0 &&
                  y % level.tile_length == 0,
              "mipmap");
    ++probes;
    if (last_tile && holds(*last_tile, level, x, y)) {
        ++hits;
        return last_tile;
    }
    if (other_tile && holds(*other_tile, level, x, y)) {
        ++hits;
        std::swap(last_tile, other_tile);
        return last_tile;
    }
    if (cache().empty()) create_cache();
    std::vector<TileCacheEntry> &slots = cache();
    const uint32_t n = uint32_t(slots.size());
    uint32_t key = hash ^ uint32_t(level.first_tile + (y / level.tile_length) * tiles_across(level) +
                                   x / level.tile_width + 1);
    uint32_t slot = key % n;
    for (int shift = 4; shift >= 1 && slots[slot].texture && !holds(slots[slot], level, x, y); --shift)
        slot = (slot ^ ((hash >> shift) + 13)) % n;
    TileCacheEntry *e = &slots[slot];
    if (holds(*e, level, x, y)) {
        remember_tile(e);
        ++hits;
        return e;
    }

    // A miss: make sure the file is open on the level's directory first.
    if (!tif) {
        tif = tiff_open(path);
        directory = -1;
        if (!tif) {
            // Changed since it was opened: say what it is now.
            if (!tile_error_reported && tiff_error_refused())
                ri_error(RIE_SYSTEM, RIE_ERROR, "\"%s\" could not be opened for texture input: %s", path,
                         tiff_error_text());
            else if (!tile_error_reported)
                ri_error(RIE_SYSTEM, RIE_ERROR, "\"%s\" could not be opened for texture input", path);
            tile_error_reported = true;
            return nullptr;
        }
    }
    if (directory != level.directory) {
        directory = TIFFSetDirectory(tif, tdir_t(level.directory)) ? level.directory : -1;
    }
    size_t needed = size_t(level.tile_width) * level.tile_length * bytes_per_texel;
    tmsize_t tile_size = directory == level.directory ? TIFFTileSize(tif) : 0;
    if (size_t(tile_size) > needed) needed = size_t(tile_size);
    if (needed < MIN_TILE_BUFFER) needed = MIN_TILE_BUFFER;

    if (e->texture) {
        if (texture_verbose())
            std::fprintf(stderr, "Texture cache collision at %u! %s, offset %d %d hash %u\n", slot, path, e->x,
                         e->y, hash);
        ++collisions;
    }
    e->texture = nullptr;
    e->level = nullptr;
    if (e->buffer && e->size < needed) {
        count_texture_memory(-long(e->size));
        e->buffer.reset();
        e->size = 0;
    }
    if (!e->buffer) {
        e->buffer.reset(new unsigned char[needed]);
        e->size = needed;
        count_texture_memory(long(needed));
    }
    if (directory != level.directory ||
        TIFFReadTile(tif, e->buffer.get(), uint32_t(x), uint32_t(y), 0, 0) < 0) {
        if (!tile_error_reported) ri_error(RIE_BADFILE, RIE_ERROR, "\"%s\": a tile could not be read", path);
        tile_error_reported = true;
        return nullptr;
    }
    e->texture = this;
    e->level = &level;
    e->x = x;
    e->y = y;
    ++misses;
    e->empty_shadow = false;
    if (shadow) {
        const size_t count = size_t(level.tile_width) * level.tile_length;
        const unsigned char *p = e->buffer.get();
        size_t i = 0;
        for (; i < count; ++i) {
            float d;
            std::memcpy(&d, p + 4 * i, 4);
            if (!(d >= 1e30f)) break;
        }
        e->empty_shadow = i == count;
    }
    remember_tile(e);
    return e;
}
