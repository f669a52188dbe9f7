/* The value types, shader kinds and parameter record shared by the
 * renderer's shader registry, the shader loaders, the compiler, the
 * inspector and native shader libraries. Plain C.
 */
#ifndef VELK_SHADER_TYPES_H
#define VELK_SHADER_TYPES_H
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

/* The size of PARAM_INFO, which a native library reports in paraminfosize. */
#define VELK_PARAM_INFO_SIZE 40

#ifdef __cplusplus
}
static_assert(sizeof(PARAM_INFO) == VELK_PARAM_INFO_SIZE, "PARAM_INFO layout");
#endif

#endif
