// What shaders may ask about the renderer: frame options, the attributes of
// the shading point and the renderer's own identity. Each answers 1 and writes
// the value through data when the name is known and data is of the answer's
// type and size: `type` (SHADER_PARAMTYPES) of its elements and `count`
// elements (1 for a scalar). Otherwise 0, and data is left as it was. Numbers
// go into floats (one, or an array of exactly as many); a string is one
// 32-bit string id.
#pragma once

struct ShadingPoint;

extern "C" {
// "Format", "DepthOfField" (float[3]), "Shutter", "Clipping" (float[2]).
int sl_option(ShadingPoint *sv, const char *name, int type, void *data, int count);
// "ShadingRate", "Matte", "Sides", "displacementbound:sphere" and kin (float);
// "identifier:name", "displacementbound:coordinatesystem" (string).
int sl_attribute(ShadingPoint *sv, const char *name, int type, void *data, int count);
// "renderer", "versionstring" (string), "version" (float[4]).
int sl_rendererinfo(ShadingPoint *sv, const char *name, int type, void *data, int count);
}
