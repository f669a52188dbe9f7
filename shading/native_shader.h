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

#ifdef __cplusplus
extern "C" {
#endif

/* Value types of shader parameters and globals. */
enum SHADER_PARAMTYPES {
    PtUNKNOWN = 0, PtFLOAT = 1, PtPOINT = 2, PtCOLOR = 3, PtSTRING = 4, PtINT = 5,
    PtVECTOR = 6, PtNORMAL = 7, PtHPOINT = 8, PtMATRIX = 9, PtVOID = 10
};

/* Shader kinds. */
enum SHADER_TYPES {
    SH_SURFACE = 0, SH_LIGHT = 1, SH_VOLUME = 2, SH_DISPLACEMENT = 3,
    SH_TRANSFORMATION = 4, SH_IMAGER = 5
};

/* One shader parameter. */
typedef struct PARAM_INFO {
    const char *name;      /* interned by the renderer when loaded */
    char type;             /* SHADER_PARAMTYPES */
    char detail;           /* 1 constant, 2 uniform, 3 varying, 4 vertex */
    char isarray;
    char isoutput;
    int32_t howmany;       /* array length, 1 for a scalar */
    int32_t size;          /* bytes in the parameter block */
    int32_t offset;        /* byte offset: the sum of the sizes before it */
    const char *space;     /* space of the default, or null */
    const void *initval;   /* default value, or null */
} PARAM_INFO;

/* Sizes a library must report in svsize and paraminfosize. */
#define VELK_PARAM_INFO_SIZE 40
#define VELK_SHADERVARS_SIZE 688

/* The shading point a shader runs on; its layout is the renderer's. */
typedef struct Intersection ShaderVars;

/* A shader's run and init entry points. */
typedef int (*NativeShaderFunc)(ShaderVars *sv, char *params);

/* String ids of parameter blocks (exported by the renderer). */
uint32_t velk_string_id(const char *text);
const char *velk_string(uint32_t id);

#ifdef __cplusplus
}
static_assert(sizeof(PARAM_INFO) == VELK_PARAM_INFO_SIZE, "PARAM_INFO layout");
#endif

#endif
