// Texture files opened for lookup: one Texture per file, its MIP levels, and
// the filtered texture, environment and shadow lookups. Tiled texture files
// are read tile by tile through the tile cache (shading/tilecache.h); plain
// scanline pictures become an in-memory square pyramid instead.
#pragma once
#include <tiffio.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "ri_common/symtab.h"
#include "ri_common/vecmath.h"
#include "shading_files/resample.h"

class Texture;
struct DepthMap;
struct TileCacheEntry;

// What one lookup asks for (filled by the texture operations).
struct TextureArgs {
    float swidth = 1.0f, twidth = 1.0f;
    float sblur = 0.0f, tblur = 0.0f;
    int first_channel = 0;
    int channels = 1;
    float fill = 0.0f;
    int samples = 1;
    float bias = 0.0f;
    int measure = 0;   // 1: the filter size comes from the corners and is kept
    int face = 0;      // cube face, chosen by the environment lookup
};

// One directory of a tiled texture file.
struct MipLevel {
    Texture *texture = nullptr;
    int width = 0, height = 0;             // the directory's size
    int full_width = 0, full_length = 0;   // the face size of cube maps, else the size
    int tile_width = 0, tile_length = 0;
    int tile_count = 0;                    // tiles across x tiles down
    int first_tile = 0;                    // global index of the first tile
    int directory = 0;
    int samples = 0, sampleformat = 1;
    int swrap = 0, twrap = 0;
    float aspect = 1.0f;                   // stretch of s or t (plain textures)
};

class Texture : public SymbolEntry {
public:
    // A closed entry for a table name (interned).
    explicit Texture(const char *table_name);
    // Frees the in-memory levels, forgets its cached tiles, closes the file.
    ~Texture() override;

    // Finds the file on the search path and reads its header (tiled files) or
    // builds the top of its pyramid (scanline pictures; not for shadow use,
    // pixels == false). 0 on success; 1 after reporting why not.
    int open(const char *name, const char *search_path, bool pixels = true);

    // Filtered lookup over the region of four (s, t) corners (8 floats);
    // args.channels floats into result, from args.first_channel.
    void lookup(float *result, const float corners[8], const TextureArgs &args, bool measure);
    // The same for four direction vectors of an environment map.
    void environment_lookup(float *result, const Point dirs[4], TextureArgs args, bool measure);
    // The fraction of four world-space points' region in shadow, in [0, 1].
    float shadow_lookup(const Point points[4], const TextureArgs &args);

    // The samples of texel (x, y) of a level as floats (8-bit x 1/255, 16-bit
    // x 1/65535, 32-bit x 2^-32, floats as stored); false when its tile
    // cannot be read.
    bool get_texel(const MipLevel &level, int x, int y, float *out);
    // Samples first..end-1 of texel (x, y) of a tile held by e, into out[first..end-1].
    void texel_samples(const MipLevel &level, const TileCacheEntry &e, int x, int y, int first, int end,
                       float *out) const;
    // The cache entry holding the tile at (x, y) of a level, reading it on a
    // miss; null when it cannot be read (shading/src/tilecache.cpp).
    TileCacheEntry *get_tile(const MipLevel &level, int x, int y);

    const char *path = nullptr;     // the file found, interned
    uint32_t hash = 0;              // hash_string of the path
    bool shadow = false, latlong = false, cubeface = false;
    int swrap = 0, twrap = 0;
    int samples = 0, bits = 0, sampleformat = 1, bytes_per_texel = 0;
    bool tiled = false;
    bool ready = false;
    std::vector<std::unique_ptr<MipLevel>> levels;   // directory order, largest first
    TIFF *tif = nullptr;            // open for tile reading, on directory
    int directory = -1;
    float world_to_screen[16] = {}, world_to_camera[16] = {};
    float aspect = 1.0f;            // FieldOfViewCotan of the first directory
    float last_ds = 0, last_dt = 0; // filter size kept between lookups
    bool tile_error_reported = false;
    bool reported_reduction = false;    // the in-memory pyramid was made smaller than the picture

    // The depths of a depth file looked up as it is (one level, rows from the top).
    std::vector<float> depth_map;

    // In-memory pyramid of a scanline picture: level n is 2^n texels square
    // plus a wrap column and row, in the picture's sample layout.
    static const int MAX_PYRAMID_LEVELS = 16;
    PixelLayout layout;
    int pyramid_size = 0;           // 2^highest_level
    int highest_level = -1;
    std::vector<unsigned char> pyramid[MAX_PYRAMID_LEVELS];
    int32_t level_stamp[MAX_PYRAMID_LEVELS] = {};
    long pyramid_memory = 0;

    // Statistics.
    long probes = 0, hits = 0, misses = 0, collisions = 0;

    // All textures, newest first.
    Texture *list_next = nullptr, *list_prev = nullptr;

private:
    bool read_header();
    // Takes a depth file's depths and matrices as a one-level shadow map.
    void use_depth_map(DepthMap &map);
    bool read_untiled();
    // Makes pyramid level n from the nearest finer one (re-reading the picture
    // when the top has been released).
    bool build_level(int n);
    // Frees every pyramid level.
    void free_pyramid();
    // Bilinear sample of one tiled level at (s, t).
    void sample_level(const MipLevel &level, float s, float t, const TextureArgs &args, float *out);
    // Bilinear sample of pyramid level n.
    void sample_pyramid(int n, float s, float t, const TextureArgs &args, float *out);
    void lookup_pyramid(float *result, float cs, float ct, float ds, float dt, const TextureArgs &args);
    friend void release_texture_memory();
};

// Most samples per texel a texture may have.
const int MAX_TEXEL_SAMPLES = 64;

// Every one of the lookup's channels set to value.
void fill_channels(float *out, const TextureArgs &a, float value);
// Brings a coordinate outside [0, 1] back by a wrap mode (WrapMode); false
// when the lookup falls on black, or the coordinate is no number.
bool wrap_coordinate(float &v, int mode);

// The newest texture, the head of the list of all textures.
Texture *first_texture();
// True when a texture of this frame was read from the file at path (by any name).
bool texture_file_in_use(const char *path);

// Wrap codes of a wrap text: the first word (a prefix of "periodic", "clamp"
// or "black") for both; a second word after a blank or comma sets t. An
// unknown first word makes both black; an unknown second leaves t = s.
void parse_wrap_modes(const char *text, int &swrap, int &twrap);

// The face (+x, -x, +y, -y, +z, -z = 0..5) a direction points into: the axis
// of its largest component, ties to x before y before z; -1 for NaN.
int which_cubeface(const Point &d);
// The face coordinates of a direction, centred on 0 (the caller scales them
// by the field of view and adds 0.5).
void cubeface_st(int face, const Point &d, float &s, float &t);

// Texture memory in use and its peak (bytes): tile buffers, the cache and
// in-memory pyramids.
long texture_memory_now();
long texture_memory_peak();
void count_texture_memory(long bytes);
// Frees the least recently used pyramid levels of 64 x 64 and up while the
// memory in use is above the "texturememory" limit.
void release_texture_memory();

// True when the renderer's verbosity has the verbose bit (messages about
// texture files and the cache).
bool texture_verbose();
