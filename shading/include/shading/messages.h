// Message passing: a shader reads a parameter of another shader bound at the
// same shading point.
#pragma once

struct ShadingPoint;

// Where a message goes, in the order of the operations.
enum MessageSource {
    MSG_SURFACE = 0, MSG_DISPLACEMENT, MSG_ATMOSPHERE, MSG_LIGHTSOURCE, MSG_INCIDENT, MSG_OPPOSITE
};

extern "C" {
// Copies the parameter name of the shader at source into data when it exists
// with a type compatible with type (SHADER_PARAMTYPES: equal, or both among
// point, vector and normal) and exactly the size of one value of type; 1
// then, else 0 with data unchanged. The lightsource is the light of the
// current illuminance step; incident and opposite are the volume shaders on
// either side of the surface.
int sl_getshadeparam(ShadingPoint *sv, int source, const char *name, int type, void *data);
}
