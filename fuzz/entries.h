// The entry points the fuzz targets and their regression test share: each
// takes arbitrary bytes, hands them to one reader of the toolkit as the file
// it reads, and must return without crashing, hanging or leaking unboundedly.
#pragma once
#include <cstddef>
#include <cstdint>

namespace fuzz {

// RIB, ASCII or binary: parsed and assembled into a scene that is not rendered.
int rib(const uint8_t *data, size_t size);
// Ray-server queries answered on a small fixed scene.
int rayserver(const uint8_t *data, size_t size);
// Compiled shaders, plain or enciphered: the renderer's loader and the inspector's reader.
int compiled_shader(const uint8_t *data, size_t size);
// Shading-language source, preprocessed already, compiled to memory.
int shading_language(const uint8_t *data, size_t size);
// TIFF pictures and textures, environment and shadow maps: texture, environment and
// shadow lookups, and texture making.
int texture(const uint8_t *data, size_t size);
// Depth files: reading and shadow-map making.
int depth_file(const uint8_t *data, size_t size);
// Irradiance cache files.
int irradiance_cache(const uint8_t *data, size_t size);

// One entry by name, for the targets and the regression test.
struct Entry {
    const char *name;
    int (*run)(const uint8_t *data, size_t size);
};
extern const Entry ENTRIES[];
extern const size_t ENTRY_COUNT;

} // namespace fuzz
