// What shaders may ask about the renderer: frame options, the attributes of
// the shading point and the renderer's own identity. Each answers 1 and writes
// the value through data when the name is known, else 0 and leaves data as it
// was. The requested type (SHADER_PARAMTYPES) gives the room behind data: a
// string is one 32-bit string id, numbers are written only into numeric
// types and never beyond the type's size.
#pragma once

struct Intersection;

extern "C" {
// "Format", "DepthOfField", "Shutter", "Clipping".
int sl_option(Intersection *sv, const char *name, int type, void *data);
// "ShadingRate", "Matte", "Sides", "displacementbound:sphere" and kin.
int sl_attribute(Intersection *sv, const char *name, int type, void *data);
// "renderer", "version", "versionstring".
int sl_rendererinfo(Intersection *sv, const char *name, int type, void *data);
}
