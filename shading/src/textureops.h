// The texture operations of the interpreter (texture, environment, shadow,
// bump and textureinfo), bound in TEXTURE_OPS (opmodules.h), and
// what they share with callers outside the interpreter.
#pragma once
#include "shading/texture.h"

// Pops the optional (name, value) arguments of a texture call, `items`
// stack items in all (a name, and its value of one float, one string or four
// points), into args; the width multipliers follow "swidth", "twidth" and
// "width" and start at 1. False (after reporting the name) when a name is
// not a texture argument: the rest of the items cannot be told apart then.
bool parse_texture_args(int items, float &smult, float &tmult, TextureArgs &args);

// Answers a textureinfo query, opening the texture as a lookup would when it
// is not open yet (a file that cannot be used is reported once): 1 after
// writing the value into data, which holds `count` elements of the shader
// type `type` (1 for a scalar); 0 with data untouched when the texture cannot
// be used or data is not of the answer's type and size. "resolution"
// (float[2]), "channels" (float), "viewingmatrix" and "projectionmatrix"
// (matrix), "type" (string: "texture", "environment" or "shadow").
int sl_textureinfo(const char *texturename, const char *paramname, int type, void *data, int count);
