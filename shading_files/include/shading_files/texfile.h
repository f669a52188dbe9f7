// The texture file: a tiled TIFF file with one directory per MIP level
// (largest first), LZW-compressed, whose private tags name the kind of map,
// its wrap modes and, for shadow maps, the camera matrices. Shared by the
// texture makers and texture lookup.
#pragma once

// Private tags (libtiff's field table knows their types).
enum TextureTag {
    TAG_IMAGE_FULL_WIDTH = 33300,       // LONG: cube-face size of the level
    TAG_IMAGE_FULL_LENGTH = 33301,      // LONG
    TAG_TEXTURE_FORMAT = 33302,         // ASCII: one of the texts below
    TAG_TEXTURE_WRAP_MODES = 33303,     // ASCII: "periodic", "clamp,black", ...
    TAG_FIELD_OF_VIEW_COTAN = 33304,    // FLOAT: aspect, or cot(fov / 2) of cube faces
    TAG_MATRIX_WORLD_TO_SCREEN = 33305, // FLOAT[16]: shadow maps
    TAG_MATRIX_WORLD_TO_CAMERA = 33306, // FLOAT[16]: shadow maps
};

// TextureFormat texts.
inline constexpr const char *TEXFMT_PLAIN = "Plain Texture";
inline constexpr const char *TEXFMT_LATLONG = "LatLong Environment";
inline constexpr const char *TEXFMT_CUBEFACE = "CubeFace Environment";
inline constexpr const char *TEXFMT_SHADOW = "Shadow";
inline constexpr const char *TEXFMT_MINMAX_SHADOW = "MinMax Shadow";

// Wrap codes on the reading side, in the order of their words.
enum WrapMode { WRAP_PERIODIC = 0, WRAP_CLAMP = 1, WRAP_BLACK = 2 };

