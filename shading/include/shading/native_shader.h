/* The binary interface between the renderer and native shader libraries
 * (NAME.intelnt.murn): value type codes, the parameter-table record, the
 * exports the renderer reads and the calls it makes. Plain C, so a native
 * shader can be written in C or C++.
 *
 * Exports a native shader library provides (looked up by name):
 *   const char *version;          "VELK2.5.0..." (tag, then major.minor.patch and a suffix)
 *   int svsize;                   VELK_SHADERVARS_SIZE
 *   int paraminfosize;            VELK_PARAM_INFO_SIZE
 *   const char *shadertype;       "surface", "light", "volume", "displacement",
 *                                 "transformation" or "imager"
 *   PARAM_INFO param_info[];      ended by a row with a null name
 *   int paramsize;                bytes of the parameter block
 *   int NAME(ShaderVars *, char *params);         the shader, named like the library
 *   int initparams(ShaderVars *, char *params);   fills a new parameter block
 * (both answer non-zero; a light answers 0 when it does not reach the point)
 *   unsigned varsused;            shading globals used (bit set)
 *
 * Parameter blocks: every value is a 32-bit word (float 1, point, vector,
 * normal and colour 3, matrix 16). A string is one 32-bit word holding a
 * string id: velk_string() turns it into text, velk_string_id() makes one.
 * Id 0 is the null string.
 */
#ifndef VELK_NATIVE_SHADER_H
#define VELK_NATIVE_SHADER_H
#include <stdint.h>

#include "ri_common/shader_types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The size a library must report in svsize (paraminfosize: VELK_PARAM_INFO_SIZE). */
#define VELK_SHADERVARS_SIZE 632

/* The shading point a shader runs on; its layout is the renderer's. */
typedef struct ShadingPoint ShaderVars;

/* A shader's run and init entry points. */
typedef int (*NativeShaderFunc)(ShaderVars *sv, char *params);

/* String ids of parameter blocks (exported by the renderer). */
uint32_t velk_string_id(const char *text);
const char *velk_string(uint32_t id);

#ifdef __cplusplus
}
#endif

#endif
