// A display driver for the tests ("d_testlog.so"): writes everything it is
// given into a text log named by the image's file name. User parameters
// change how it answers: "scanline" (int) asks for scan-line order,
// "byteorder" "big" asks for high byte first, "reorder" (int) puts the
// colour channels in r, g, b, a order, "fail" (int) refuses the open.
// It is built from the published display-driver interface alone, not from
// the renderer's header, so that it reads what any such driver would.
#include <cstdio>
#include <cstring>

extern "C" {

// The published records and values.
typedef struct {
    const char *name;
    char valueType;
    char valueCount;
    const void *value;
    int nbytes;
} UserParameter;

typedef struct {
    char *name;
    unsigned type;
} PtDspyDevFormat;

typedef struct {
    int flags;
} PtFlagStuff;

typedef void *PtDspyImageHandle;
typedef int PtDspyError;

}

const int PkDspyErrorNone = 0;
const int PkDspyErrorUndefined = 5;
const unsigned PkDspyByteOrderHiLo = 0x2000;
const unsigned PkDspyByteOrderLoHi = 0x4000;
const int PkDspyFlagsWantsScanLineOrder = 1;

namespace {

struct LogImage {
    FILE *log;
};

const UserParameter *find(const UserParameter *p, int n, const char *name)
{
    for (int i = 0; i < n; ++i)
        if (p[i].name && strcmp(p[i].name, name) == 0) return &p[i];
    return nullptr;
}

int int_parameter(const UserParameter *p, int n, const char *name)
{
    const UserParameter *q = find(p, n, name);
    if (!q || q->valueType != 'i' || q->valueCount < 1) return 0;
    int v;
    memcpy(&v, q->value, sizeof v);
    return v;
}

} // namespace

extern "C" {

PtDspyError DspyImageOpen(PtDspyImageHandle *image, const char *driver, const char *filename, int width,
                          int height, int paramcount, const UserParameter *params, int formatcount,
                          PtDspyDevFormat *formats, PtFlagStuff *flags)
{
    if (int_parameter(params, paramcount, "fail")) return PkDspyErrorUndefined;
    FILE *log = fopen(filename, "w");
    if (!log) return PkDspyErrorUndefined;
    fprintf(log, "open %s %d %d\n", driver, width, height);
    for (int i = 0; i < paramcount; ++i) {
        const UserParameter &p = params[i];
        fprintf(log, "param %s %c %d %d", p.name, p.valueType, int(p.valueCount), p.nbytes);
        for (int k = 0; k < p.valueCount; ++k) {
            if (p.valueType == 's') fprintf(log, " %s", static_cast<const char *const *>(p.value)[k]);
            else if (p.valueType == 'i') fprintf(log, " %d", static_cast<const int *>(p.value)[k]);
            else fprintf(log, " %g", double(static_cast<const float *>(p.value)[k]));
        }
        fprintf(log, "\n");
    }
    if (int_parameter(params, paramcount, "reorder") && formatcount == 4) {
        static char names[] = "r\0g\0b\0a";
        unsigned type = formats[0].type;
        for (int i = 0; i < 4; ++i) {
            formats[i].name = names + 2 * i;
            formats[i].type = type;
        }
    }
    const UserParameter *bo = find(params, paramcount, "byteorder");
    if (bo && bo->valueType == 's' && strcmp(*static_cast<const char *const *>(bo->value), "big") == 0)
        for (int i = 0; i < formatcount; ++i)
            formats[i].type = (formats[i].type & ~PkDspyByteOrderLoHi) | PkDspyByteOrderHiLo;
    for (int i = 0; i < formatcount; ++i) fprintf(log, "format %s %u\n", formats[i].name, formats[i].type);
    if (int_parameter(params, paramcount, "scanline")) flags->flags |= PkDspyFlagsWantsScanLineOrder;
    fflush(log);
    *image = new LogImage{log};
    return PkDspyErrorNone;
}

PtDspyError DspyImageData(PtDspyImageHandle image, int xmin, int xmax_plus_one, int ymin, int ymax_plus_one,
                          int entrysize, const unsigned char *data)
{
    FILE *log = static_cast<LogImage *>(image)->log;
    fprintf(log, "data %d %d %d %d %d", xmin, xmax_plus_one, ymin, ymax_plus_one, entrysize);
    long bytes = long(xmax_plus_one - xmin) * long(ymax_plus_one - ymin) * entrysize;
    for (long i = 0; i < bytes; ++i) fprintf(log, " %02x", data[i]);
    fprintf(log, "\n");
    return PkDspyErrorNone;
}

PtDspyError DspyImageClose(PtDspyImageHandle image)
{
    LogImage *li = static_cast<LogImage *>(image);
    fprintf(li->log, "close\n");
    fclose(li->log);
    delete li;
    return PkDspyErrorNone;
}

PtDspyError DspyImageDelayClose(PtDspyImageHandle image)
{
    fprintf(static_cast<LogImage *>(image)->log, "delayclose\n");
    return DspyImageClose(image);
}

}
