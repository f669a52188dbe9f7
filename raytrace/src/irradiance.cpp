// The irradiance cache's records: the tree, the cache files and the
// interpolation of nearby estimates.
#include "raytrace/irradiance.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "platform/files.h"

namespace {

const long RECORD_BYTES = sizeof(IrradianceRecord);

// Whether a record read from a file can take part in queries: finite values
// and a positive mean distance (the error estimate divides by it).
bool usable_record(const IrradianceRecord &r)
{
    const float *f = r.P;
    // The 17 floats from P to the translational gradient.
    for (int i = 0; i < 17; ++i)
        if (!std::isfinite(f[i])) return false;
    return r.R > 0;
}

bool ends_with_rib(const char *name)
{
    size_t n = std::strlen(name);
    return n >= 5 && std::strcmp(name + n - 4, ".rib") == 0;
}

void write_debug_rib(FILE *f, const IrradianceRecord &r)
{
    std::fprintf(f, "AttributeBegin\n");
    std::fprintf(f, "Translate %g %g %g\n", r.P[0], r.P[1], r.P[2]);
    float radius = 1;
    if (Point::from(r.transgrad).length() > 1) {
        std::fprintf(f, "# Hey, is something wrong?\nColor 1 1 0\n");
        radius = 10;
    }
    std::fprintf(f, "Sphere %g -%g %g 360\n", radius, radius, radius);
    std::fprintf(f, "# energy %g %g %g\n", r.E[0], r.E[1], r.E[2]);
    std::fprintf(f, "# N %g %g %g\n", r.N[0], r.N[1], r.N[2]);
    std::fprintf(f, "# avgdist %g\n", r.R);
    std::fprintf(f, "# rotgrad %g %g %g\n", r.rotgrad[0], r.rotgrad[1], r.rotgrad[2]);
    std::fprintf(f, "# transgrad %g %g %g\n", r.transgrad[0], r.transgrad[1], r.transgrad[2]);
    std::fprintf(f, "AttributeEnd\n");
}

} // namespace

void IrradianceCache::insert(const IrradianceRecord &r)
{
    records_.push_back(r);
    tree_.insert(&records_.back());
    stats.records++;
    stats.memory.add(KDTREE_NODE_BYTES + (r.made ? RECORD_BYTES : 0));
}

void IrradianceCache::load(const char *filename)
{
    if (!filename || !*filename) return;
    if (velk::is_directory(filename)) {
        std::fprintf(stderr, "Indirect error: seed file %s is a directory; going on without it\n", filename);
        return;
    }
    FILE *f = std::fopen(filename, "rb");
    if (!f) return;
    const int64_t size = velk::regular_file_size(filename);
    if (size < 0) {
        std::fclose(f);
        return;
    }
    if (size % RECORD_BYTES != 0) {
        std::fprintf(stderr, "Indirect error: %ld records?\n", long(size / RECORD_BYTES));
        std::fclose(f);
        return;
    }
    // Each record is kept twice while it loads (read, then kept) and gets a
    // node: refuse a file that cannot fit rather than fail half way.
    const uint64_t n = uint64_t(size / RECORD_BYTES), memory = velk::physical_memory();
    if (memory > 0 && n > memory / (2 * RECORD_BYTES + 2 * KDTREE_NODE_BYTES)) {
        std::fprintf(stderr,
                     "Indirect error: seed file %s holds %llu records, more than memory can; going on without it\n",
                     filename, (unsigned long long)n);
        std::fclose(f);
        return;
    }
    std::vector<IrradianceRecord *> loaded;
    try {
        std::vector<IrradianceRecord> block(n);
        size_t got = n ? std::fread(block.data(), RECORD_BYTES, n, f) : 0;
        loaded.reserve(got);
        for (size_t i = 0; i < got; ++i) {
            IrradianceRecord &r = block[i];
            if (!usable_record(r)) continue;
            r.made = 0;
            records_.push_back(r);
            loaded.push_back(&records_.back());
        }
    } catch (const std::bad_alloc &) {
        std::fprintf(stderr, "Indirect error: seed file %s does not fit in memory; going on without it\n", filename);
        for (size_t i = 0; i < loaded.size(); ++i) records_.pop_back();
        std::fclose(f);
        return;
    }
    std::fclose(f);
    tree_.insert_balanced(loaded);
    stats.records += long(loaded.size());
    stats.memory.add(int64_t(loaded.size()) * KDTREE_NODE_BYTES);
}

void IrradianceCache::save(const char *filename) const
{
    if (!filename || !*filename || tree_.empty()) return;
    // The RIB or an archive still being read keeps its place.
    if (velk::open_for_reading_here(filename)) {
        std::fprintf(stderr, "Indirect error: save file %s is a file being read; it is not written\n", filename);
        return;
    }
    if (velk::was_input(filename)) {
        std::fprintf(stderr, "Indirect error: save file %s is a file this frame read; it is not written\n", filename);
        return;
    }
    bool rib = ends_with_rib(filename);
    velk::OutputFile file;
    FILE *f = file.open(filename) ? std::fopen(file.path().c_str(), rib ? "w" : "wb") : nullptr;
    if (!f) return;
    bool ok = true;
    tree_.preorder([&](const IrradianceRecord &r) {
        if (rib) write_debug_rib(f, r);
        else if (ok && std::fwrite(&r, RECORD_BYTES, 1, f) != 1) ok = false;
    });
    // A cache cut short would be read back as fewer records: the old one stays.
    ok = !std::ferror(f) && ok;
    ok = std::fclose(f) == 0 && ok;
    if (!ok || !file.commit())
        std::fprintf(stderr, "Indirect error: could not write save file %s; the old one is kept\n", filename);
}

void IrradianceCache::clear()
{
    tree_.clear();
    for (const IrradianceRecord &r : records_) stats.memory.subtract(KDTREE_NODE_BYTES + (r.made ? RECORD_BYTES : 0));
    records_.clear();
}

bool interpolate_irradiance(IrradianceRecord *const *records, int n, const Point &P, const Point &N,
                            float max_error, int min_valid, bool gradients, Color &result)
{
    Color sum;
    float weights = 0;
    int valid = 0;
    for (int i = 0; i < n; ++i) {
        const IrradianceRecord &r = *records[i];
        Point Pi = Point::from(r.P), Ni = Point::from(r.N);
        Point d = P - Pi;
        // Rounding can put the dot product of two unit normals above 1.
        float bend = std::sqrt(std::fmax(0.0f, 1 - dot(N, Ni)));
        float e = d.length() / r.R + bend;
        if (dot(Pi - P, normalize(N + Ni)) < -0.001f) e = 1000000;
        if (!(e <= max_error)) continue;
        float w = 1 / std::fmax(e, 1e-10f);
        Color E = Color::from(r.E);
        if (gradients) {
            float change = dot(cross(Ni, N), Point::from(r.rotgrad)) + dot(d, Point::from(r.transgrad));
            E += Color(change);
        }
        sum += E * w;
        weights += w;
        valid++;
    }
    if (valid < min_valid || !(weights > 0)) return false;
    result = sum / weights;
    return true;
}

void hemisphere_strata(int m, int &nt, int &np)
{
    if (m < 0) m = 0;
    nt = std::max(1, int(std::floor(std::sqrt(m / 2.0) + 0.5)));
    np = std::max(1, int(std::floor(double(m) / nt + 0.5)));
}

IrradianceRecord irradiance_record(const Point &P, const Point &U, const Point &V, const Point &N,
                                   const HemisphereSamples &s)
{
    const double pi = 3.14159265358979;
    const int nt = s.nt, np = s.np, n = nt * np;
    // A distance of 0 (no lower ray limit) would divide by zero below.
    auto dist = [&](int j, int k) { return std::fmax(s.dist[size_t(j) * np + k], 1e-6f); };
    auto lum = [&](int j, int k) {
        const Color &c = s.color[size_t(j) * np + k];
        return (c.x + c.y + c.z) / 3;
    };
    Color sum;
    double inverse_distances = 0;
    for (int j = 0; j < nt; ++j)
        for (int k = 0; k < np; ++k) {
            sum += s.color[size_t(j) * np + k];
            inverse_distances += 1.0 / dist(j, k);
        }
    Color E = sum / float(n);

    Point rot;
    for (int k = 0; k < np; ++k) {
        double phi = pi / 2 + 2 * pi * (k + 0.5) / np;
        double along = 0;
        for (int j = 0; j < nt; ++j) along += lum(j, k) / std::sqrt(nt / (j + 0.5) - 1);
        rot += (U * float(std::cos(phi)) + V * float(std::sin(phi))) * float(along);
    }
    rot *= 1.0f / float(n);

    auto sine = [&](int j) { return std::sqrt(double(j) / nt); };
    Point trans;
    for (int k = 0; k < np; ++k) {
        double phi = 2 * pi * k / np;
        float c = float(std::cos(phi)), sn = float(std::sin(phi));
        Point uk = U * c + V * sn, vk = V * c - U * sn;
        int before = k == 0 ? np - 1 : k - 1;
        double radial = 0, around = 0;
        for (int j = 1; j < nt; ++j)
            radial += sine(j) * (1 - double(j) / nt) * (lum(j, k) - lum(j - 1, k)) /
                      std::fmin(dist(j, k), dist(j - 1, k));
        for (int j = 0; j < nt; ++j)
            around += (sine(j + 1) - sine(j)) * (lum(j, k) - lum(j, before)) / std::fmin(dist(j, k), dist(j, before));
        trans += uk * float(2 * pi / np * radial) + vk * float(around);
    }
    trans *= float(1 / pi);

    IrradianceRecord r{};
    std::memcpy(r.P, P.data(), 12);
    std::memcpy(r.E, E.data(), 12);
    std::memcpy(r.N, N.data(), 12);
    r.R = float(n / inverse_distances);
    r.mean = (E.x + E.y + E.z) * 0.33333334f;
    std::memcpy(r.rotgrad, rot.data(), 12);
    std::memcpy(r.transgrad, trans.data(), 12);
    r.made = 1;
    return r;
}

void print_indirect_stats(FILE *out, const IrradianceStats &s)
{
    if (s.queries == 0) return;
    double q = double(s.queries);
    std::fprintf(out, "Indirect illumination stats:\n");
    std::fprintf(out, "  %ld indirect illumination queries\n", s.queries);
    std::fprintf(out, "  %ld (%g%%) fully shaded indirects, needed %ld rays\n", s.computed,
                 100.0 * double(s.computed) / q, s.rays);
    std::fprintf(out, "  %ld (%g%%) indirect values taken from cache\n", s.from_cache,
                 100.0 * double(s.from_cache) / q);
    std::fprintf(out, "  %ld indirect cache values, mem %ld kb peak\n", s.records, long(s.memory.peak / 1024));
}
