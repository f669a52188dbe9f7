// A display driver for the tests ("d_testlog.so"): writes everything it is
// given into a text log named by the image's file name. User parameters
// change how it answers: "scanline" (int) asks for scan-line order,
// "byteorder" "big" asks for high byte first, "reorder" (int) puts the
// colour channels in r, g, b, a order, "fail" (int) refuses the open.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "raytrace/dspy.h"

namespace {

struct LogImage {
    FILE *log;
};

const DspyParameter *find(const DspyParameter *p, int n, const char *name)
{
    for (int i = 0; i < n; ++i)
        if (p[i].name && strcmp(p[i].name, name) == 0) return &p[i];
    return nullptr;
}

int int_parameter(const DspyParameter *p, int n, const char *name)
{
    const DspyParameter *q = find(p, n, name);
    if (!q || q->type != 'i' || q->count < 1) return 0;
    int32_t v;
    memcpy(&v, q->value, 4);
    return v;
}

} // namespace

extern "C" {

int32_t DspyImageOpen(DspyImageHandle *image, const char *driver, const char *filename, int32_t width,
                      int32_t height, int32_t paramcount, const DspyParameter *params, int32_t formatcount,
                      DspyFormat *formats, DspyFlags *flags)
{
    if (int_parameter(params, paramcount, "fail")) return DSPY_ERROR;
    FILE *log = fopen(filename, "w");
    if (!log) return DSPY_ERROR;
    fprintf(log, "open %s %d %d\n", driver, width, height);
    for (int i = 0; i < paramcount; ++i) {
        const DspyParameter &p = params[i];
        fprintf(log, "param %s %c %d %d", p.name, p.type, p.count, p.nbytes);
        for (int k = 0; k < p.count; ++k) {
            if (p.type == 's') fprintf(log, " %s", static_cast<const char *const *>(p.value)[k]);
            else if (p.type == 'i') fprintf(log, " %d", static_cast<const int32_t *>(p.value)[k]);
            else fprintf(log, " %g", double(static_cast<const float *>(p.value)[k]));
        }
        fprintf(log, "\n");
    }
    if (int_parameter(params, paramcount, "reorder") && formatcount == 4) {
        static const char *const order[] = {"r", "g", "b", "a"};
        uint32_t type = formats[0].type;
        for (int i = 0; i < 4; ++i) {
            formats[i].name = order[i];
            formats[i].type = type;
        }
    }
    const DspyParameter *bo = find(params, paramcount, "byteorder");
    if (bo && bo->type == 's' && strcmp(*static_cast<const char *const *>(bo->value), "big") == 0)
        for (int i = 0; i < formatcount; ++i) formats[i].type &= ~uint32_t(DSPY_BYTE_ORDER_LOW_FIRST);
    for (int i = 0; i < formatcount; ++i) fprintf(log, "format %s %u\n", formats[i].name, formats[i].type);
    if (int_parameter(params, paramcount, "scanline")) flags->flags |= DSPY_WANTS_SCANLINE_ORDER;
    fflush(log);
    *image = new LogImage{log};
    return DSPY_OK;
}

int32_t DspyImageData(DspyImageHandle image, int32_t xmin, int32_t xmax_plus_one, int32_t ymin,
                      int32_t ymax_plus_one, int32_t entrysize, const unsigned char *data)
{
    FILE *log = static_cast<LogImage *>(image)->log;
    fprintf(log, "data %d %d %d %d %d", xmin, xmax_plus_one, ymin, ymax_plus_one, entrysize);
    long bytes = long(xmax_plus_one - xmin) * long(ymax_plus_one - ymin) * entrysize;
    for (long i = 0; i < bytes; ++i) fprintf(log, " %02x", data[i]);
    fprintf(log, "\n");
    return DSPY_OK;
}

int32_t DspyImageClose(DspyImageHandle image)
{
    LogImage *li = static_cast<LogImage *>(image);
    fprintf(li->log, "close\n");
    fclose(li->log);
    delete li;
    return DSPY_OK;
}

int32_t DspyImageDelayClose(DspyImageHandle image)
{
    fprintf(static_cast<LogImage *>(image)->log, "delayclose\n");
    return DspyImageClose(image);
}

}
