// Coordinate spaces as shaders name them: the standard spaces ("current" and
// "world" are one), "object" and "shader" of the shading point, and the named
// coordinate systems.
#pragma once

class Transformation;
struct ShadingPoint;

// True when name is a space a shader may use.
bool known_space(const char *name);
// The matrix taking points (vector: directions) of the point sv from one
// named space to another at the point's time. An unknown name is reported
// ("illegal transform space in shader"); false then and when no matrix
// results.
bool space_matrix(ShadingPoint *sv, const char *from, const char *to, bool vector, float out[16]);
// The object transformation of the point's object; null when the point has
// no object.
const Transformation *object_transformation(const ShadingPoint *sv);
