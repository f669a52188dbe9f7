/* The interface between the renderer and display-driver libraries
 * ("d_<type>.so"). A driver exports DspyImageOpen, DspyImageData,
 * DspyImageClose and optionally DspyImageDelayClose with the C linkage and
 * the signatures below. The records follow the published display-driver
 * interface, so that drivers built against its standard header work too;
 * their layouts are checked at compile time. */
#ifndef VELK_DSPY_H
#define VELK_DSPY_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Channel types; the byte-order bit is or-ed in. */
enum {
    DSPY_FLOAT32 = 1,
    DSPY_UNSIGNED16 = 4,
    DSPY_UNSIGNED8 = 6,
    DSPY_TYPE_MASK = 0x1fff,
    /* The byte-order bits. Low first set: values are stored low byte first;
     * a driver clears it (setting high first) to ask for high byte first.
     * 8-bit channels are not affected. */
    DSPY_BYTE_ORDER_HIGH_FIRST = 0x2000,
    DSPY_BYTE_ORDER_LOW_FIRST = 0x4000
};

/* Driver flags (DspyFlags.flags). */
enum { DSPY_WANTS_SCANLINE_ORDER = 1 };

/* Answers of the entry points. */
enum { DSPY_OK = 0, DSPY_ERROR = 1, DSPY_BAD_PARAMETERS = 2, DSPY_UNSUPPORTED = 3, DSPY_NO_MEMORY = 4 };

/* One channel of a pixel, in the order the data carries them. A driver may
 * reorder the entries it is given and may change the byte-order bit. */
typedef struct DspyFormat {
    const char *name;   /* "r", "g", "b" or "a" */
    uint32_t type;      /* DSPY_* type with the byte-order bit */
    uint32_t reserved;
} DspyFormat;

/* One parameter passed to DspyImageOpen, in the published layout that
 * drivers are built against. */
typedef struct DspyParameter {
    const char *name;
    char type;          /* 'f', 'i' or 's' */
    char count;         /* values at value: floats, int32s, or const char * strings */
    const void *value;
    int32_t nbytes;     /* bytes at value */
} DspyParameter;

/* The largest value count a parameter record can carry. */
enum { DSPY_MAX_PARAMETER_COUNT = 127 };

typedef struct DspyFlags {
    int32_t flags;
    int32_t reserved;
} DspyFlags;

typedef void *DspyImageHandle;

/* Opens an image of width x height pixels (the crop window's size; its place
 * in the whole picture is the "origin" parameter, the whole picture's size
 * "OriginalSize"). formats has formatcount entries; flags starts at 0. */
typedef int32_t (*DspyImageOpenFunction)(DspyImageHandle *image, const char *drivername,
                                         const char *filename, int32_t width, int32_t height,
                                         int32_t paramcount, const DspyParameter *parameters,
                                         int32_t formatcount, DspyFormat *formats, DspyFlags *flags);
/* Pixels of columns xmin .. xmax_plus_one - 1 and rows ymin .. ymax_plus_one - 1
 * (image coordinates), rows from the top, entrysize bytes a pixel. */
typedef int32_t (*DspyImageDataFunction)(DspyImageHandle image, int32_t xmin, int32_t xmax_plus_one,
                                         int32_t ymin, int32_t ymax_plus_one, int32_t entrysize,
                                         const unsigned char *data);
/* Ends the image (DspyImageDelayClose is preferred when exported). */
typedef int32_t (*DspyImageCloseFunction)(DspyImageHandle image);

#ifdef __cplusplus
}
static_assert(sizeof(DspyFormat) == sizeof(void *) + 8, "DspyFormat layout");
static_assert(offsetof(DspyFormat, type) == sizeof(void *), "DspyFormat layout");
static_assert(offsetof(DspyParameter, type) == sizeof(void *), "DspyParameter layout");
static_assert(offsetof(DspyParameter, count) == sizeof(void *) + 1, "DspyParameter layout");
static_assert(offsetof(DspyParameter, value) == 2 * sizeof(void *), "DspyParameter layout");
static_assert(offsetof(DspyParameter, nbytes) == 3 * sizeof(void *), "DspyParameter layout");
static_assert(sizeof(DspyParameter) == 4 * sizeof(void *), "DspyParameter layout");
static_assert(sizeof(DspyFlags) == 8, "DspyFlags layout");
#else
_Static_assert(sizeof(DspyFormat) == sizeof(void *) + 8, "DspyFormat layout");
_Static_assert(sizeof(DspyParameter) == 4 * sizeof(void *), "DspyParameter layout");
_Static_assert(sizeof(DspyFlags) == 8, "DspyFlags layout");
#endif

#endif
