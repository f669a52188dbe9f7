// Texture making: what the texture-making requests do, shared by the renderer
// and the texture maker program, and the steps it is built from. Every failure
// is reported through the RI error handler.
#pragma once
#include <tiffio.h>

#include <string>
#include <vector>

#include "ri_common/ri.h"
#include "ri_common/texture_procs.h"
#include "shading_files/resample.h"

// One directory (level) of a texture file. Optional tags are written only
// when given (non-null, or non-zero full sizes).
struct TextureDirectory {
    int width = 0, height = 0;
    PixelLayout layout;
    int tile_width = 0, tile_length = 0;
    const char *format = nullptr;                 // TextureFormat text
    const char *wraps = nullptr;                  // TextureWrapModes text
    const float *field_of_view = nullptr;         // FieldOfViewCotan
    const float *world_to_screen = nullptr;       // 16 floats
    const float *world_to_camera = nullptr;       // 16 floats
    int full_width = 0, full_length = 0;          // cube faces
};

// Tile size of a level: 8-bit samples 64 x 64, 32-bit 32 x 32, 16-bit 64 x 32
// when the level is at least as wide as high, else 32 x 64.
void texture_tile_size(int bits, int width, int height, int &tile_width, int &tile_length);

// The wrap-mode text: one word when both are the same token, else "s,t".
std::string texture_wrap_text(RtToken swrap, RtToken twrap);

// Writes one directory: its tags, then the image as whole tiles (the parts of
// edge tiles outside the image are zero). False when libtiff fails.
bool write_texture_directory(TIFF *tif, const TextureDirectory &dir, const unsigned char *image);

// Writes the MIP chain of a plain texture or lat-long map: levels while both
// sides are at least 2, halving the image in place after each.
bool write_mip_levels(TIFF *tif, int width, int height, const PixelLayout &layout, const char *format,
                      const char *wraps, const float *aspect, std::vector<unsigned char> &image);

// Copies six square faces of size x size into a cleared mosaic three slots
// wide and two high (slot = the larger of size and tile length): face i at
// column i / 2, row i % 2, in the slot's top-left corner.
void pack_cube_faces(const std::vector<std::vector<unsigned char>> &faces, int size, int slot,
                     const PixelLayout &layout, unsigned char *mosaic);

// Writes the levels of a cube-face map from its six faces (halved in place)
// while the face size is above 1.
bool write_cubeface_levels(TIFF *tif, std::vector<std::vector<unsigned char>> &faces, int size,
                           const PixelLayout &layout, float field_of_view);

// The requests' back ends (the arguments of the RI procedures of the same
// names), and all five as the table the renderer installs.
RtVoid make_texture_file(RtString pic, RtString tex, RtToken swrap, RtToken twrap, RtFilterFunc filter,
                         RtFloat swidth, RtFloat twidth, RtInt n, RtToken tokens[], RtPointer params[]);
RtVoid make_bump_file(RtString pic, RtString tex, RtToken swrap, RtToken twrap, RtFilterFunc filter,
                      RtFloat swidth, RtFloat twidth, RtInt n, RtToken tokens[], RtPointer params[]);
RtVoid make_latlong_file(RtString pic, RtString tex, RtFilterFunc filter, RtFloat swidth, RtFloat twidth,
                         RtInt n, RtToken tokens[], RtPointer params[]);
RtVoid make_cubeface_file(RtString px, RtString nx, RtString py, RtString ny, RtString pz, RtString nz,
                          RtString tex, RtFloat fov, RtFilterFunc filter, RtFloat swidth, RtFloat twidth,
                          RtInt n, RtToken tokens[], RtPointer params[]);
RtVoid make_shadow_file(RtString pic, RtString tex, RtInt n, RtToken tokens[], RtPointer params[]);
extern const TextureMaking texture_file_making;
