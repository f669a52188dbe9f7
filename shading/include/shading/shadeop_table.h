/* What a shadeop library exports: per shading-language function NAME, a table
 * "NAME_shadeops" of rows ended by a row with a null or empty declaration.
 * The method named in a row's declaration ("float sqr(float)" names sqr) is
 * called with argv[0] the result's storage and argv[i] the address of
 * argument i (a string argument: the address of a slot holding its text).
 * The init function runs once per binding; the cleanup function at exit.
 * Plain C, so a library can be written in C or C++. */
#ifndef VELK_SHADEOP_TABLE_H
#define VELK_SHADEOP_TABLE_H

#ifdef __cplusplus
extern "C" {
#endif

/* One row: the function's shading-language prototype, then the names of its
 * init and cleanup functions (empty or null for none). */
typedef struct ShadeopRow {
    const char *declaration;
    const char *init;
    const char *cleanup;
} ShadeopRow;

typedef int (*ShadeopMethod)(void *init_data, int argc, void **argv);
typedef void *(*ShadeopInit)(void);
typedef void (*ShadeopCleanup)(void *init_data);

#ifdef __cplusplus
}
#endif

#endif
