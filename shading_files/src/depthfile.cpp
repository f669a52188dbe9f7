#include "shading_files/depthfile.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

struct DepthFile {
    std::FILE *stream;
    bool write_failed;
};

namespace {

int last_error = ZFILE_OK;

uint32_t load_be32(const unsigned char *p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

void store_be32(unsigned char *p, uint32_t v)
{
    p[0] = (unsigned char)(v >> 24);
    p[1] = (unsigned char)(v >> 16);
    p[2] = (unsigned char)(v >> 8);
    p[3] = (unsigned char)v;
}

float load_float(const unsigned char *p)
{
    uint32_t bits = load_be32(p);
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

void store_float(unsigned char *p, float f)
{
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    store_be32(p, bits);
}

DepthFile *fail_open(std::FILE *f, int code)
{
    if (f) std::fclose(f);
    last_error = code;
    return nullptr;
}

} // namespace

int zfile_error()
{
    return last_error;
}

DepthFile *zfile_open_read(const char *path, int *width, int *height,
                           float world_to_screen[16], float world_to_camera[16], bool announce)
{
    std::FILE *f = path ? std::fopen(path, "rb") : nullptr;
    if (!f) return fail_open(nullptr, ZFILE_CANNOT_OPEN);
    unsigned char header[ZFILE_HEADER_SIZE];
    if (std::fread(header, 1, 4, f) != 4) return fail_open(f, ZFILE_BAD_MAGIC);
    uint32_t magic = load_be32(header);
    if (magic != ZFILE_MAGIC && magic != 0xab67082fu) return fail_open(f, ZFILE_BAD_MAGIC);
    if (std::fread(header + 4, 1, ZFILE_HEADER_SIZE - 4, f) != ZFILE_HEADER_SIZE - 4)
        return fail_open(f, ZFILE_SHORT_HEADER);

    int w = (header[4] << 8) | header[5];
    int h = (header[6] << 8) | header[7];
    for (int i = 0; i < 16; ++i) {
        if (world_to_screen) world_to_screen[i] = load_float(header + 8 + 4 * i);
        if (world_to_camera) world_to_camera[i] = load_float(header + 72 + 4 * i);
    }
    if (width) *width = w;
    if (height) *height = h;
    if (announce) std::printf("Opened zfile %s, %d x %d\n", path, w, h);
    last_error = ZFILE_OK;
    return new DepthFile{f, false};
}

int zfile_read_map(const char *path, DepthMap &map, bool announce)
{
    DepthFile *z = zfile_open_read(path, &map.width, &map.height, map.world_to_screen, map.world_to_camera, announce);
    if (!z) return last_error;
    const size_t count = size_t(map.width) * size_t(map.height);
    int code = ZFILE_OK;
    if (count == 0) {
        code = ZFILE_NO_PIXELS;
    } else {
        // The file must hold its depths before room is made for them: a cut
        // file's header could ask for gigabytes. (A pipe cannot tell.)
        std::error_code err;
        const uintmax_t file_size = std::filesystem::file_size(path, err);
        if (!err && file_size < ZFILE_HEADER_SIZE + 4 * count) code = ZFILE_ENDS_EARLY;
    }
    if (code == ZFILE_OK) {
        try {
            map.depths.resize(count);
        } catch (...) {
            zfile_close(z);
            throw;
        }
        if (!zfile_read_rows(z, count, map.depths.data())) code = ZFILE_ENDS_EARLY;
    }
    zfile_close(z);
    if (code != ZFILE_OK) map.depths.clear();
    last_error = code;
    return code;
}

DepthFile *zfile_open_write(const char *path, int width, int height,
                            const float world_to_screen[16], const float world_to_camera[16])
{
    if (width < 1 || width > ZFILE_MAX_SIZE || height < 1 || height > ZFILE_MAX_SIZE)
        return fail_open(nullptr, ZFILE_BAD_SIZE);
    std::FILE *f = path ? std::fopen(path, "wb") : nullptr;
    if (!f) return fail_open(nullptr, ZFILE_CANNOT_CREATE);
    unsigned char header[ZFILE_HEADER_SIZE];
    store_be32(header, ZFILE_MAGIC);
    header[4] = (unsigned char)(width >> 8);
    header[5] = (unsigned char)width;
    header[6] = (unsigned char)(height >> 8);
    header[7] = (unsigned char)height;
    for (int i = 0; i < 16; ++i) {
        store_float(header + 8 + 4 * i, world_to_screen ? world_to_screen[i] : (i % 5 == 0));
        store_float(header + 72 + 4 * i, world_to_camera ? world_to_camera[i] : (i % 5 == 0));
    }
    if (std::fwrite(header, 1, ZFILE_HEADER_SIZE, f) != ZFILE_HEADER_SIZE)
        return fail_open(f, ZFILE_CANNOT_CREATE);
    last_error = ZFILE_OK;
    return new DepthFile{f, false};
}

bool zfile_read_rows(DepthFile *file, size_t count, float *out)
{
    if (!file) return false;
    unsigned char buffer[4096];
    size_t done = 0;
    while (done < count) {
        size_t n = count - done < sizeof buffer / 4 ? count - done : sizeof buffer / 4;
        size_t got = std::fread(buffer, 4, n, file->stream);
        for (size_t i = 0; i < got; ++i) out[done + i] = load_float(buffer + 4 * i);
        done += got;
        if (got < n) {
            for (; done < count; ++done) out[done] = 0.0f;
            return false;
        }
    }
    return true;
}

bool zfile_write_rows(DepthFile *file, size_t count, const float *depths)
{
    if (!file) return false;
    unsigned char buffer[4096];
    size_t done = 0;
    while (done < count) {
        size_t n = count - done < sizeof buffer / 4 ? count - done : sizeof buffer / 4;
        for (size_t i = 0; i < n; ++i) store_float(buffer + 4 * i, depths[done + i]);
        if (std::fwrite(buffer, 4, n, file->stream) != n) {
            file->write_failed = true;
            return false;
        }
        done += n;
    }
    return true;
}

bool zfile_close(DepthFile *file)
{
    if (!file) return false;
    bool ok = !file->write_failed;
    if (std::fclose(file->stream) != 0) ok = false;
    delete file;
    return ok;
}
