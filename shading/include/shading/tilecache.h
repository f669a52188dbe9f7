// The one tile cache of tiled texture files: a fixed array of slots, as many
// as "texturememory" holds tiles of 12288 bytes, made on the first tile access.
// A tile's slot comes from its texture's hash and its global tile index, with
// at most four re-probes; a miss evicts whatever the last probed slot holds.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

class Texture;
struct MipLevel;

// One slot.
struct TileCacheEntry {
    std::unique_ptr<unsigned char[]> buffer;
    size_t size = 0;                  // bytes of the buffer
    Texture *texture = nullptr;       // owner of the tile held, null when empty
    const MipLevel *level = nullptr;
    int x = 0, y = 0;                 // tile origin, texels
    bool empty_shadow = false;        // every depth at least 1e30
};

// Bytes of texture memory per slot.
const long TILE_SLOT_BYTES = 12288;

// The published 32-bit lookup2 hash of bytes, from an initial value.
uint32_t hash_string(const void *bytes, size_t length, uint32_t initial);

// Slots of the cache; 0 before the first tile access.
int tile_cache_slots();
// Forgets every tile a texture holds in the cache (its entries become free).
void forget_texture_tiles(const Texture *texture);
