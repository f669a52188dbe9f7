// The irradiance cache: estimates of indirect diffuse light, each kept as a
// record (also the record of the cache files) in a 3-d tree, interpolated at
// nearby points whose error estimate is small. The cache can be seeded from a
// file before a frame and saved after it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <vector>

#include "raytrace/kdtree.h"
#include "ri/counters.h"
#include "ri_common/vecmath.h"

// One estimate; its bytes are the record of a cache file (native byte order).
struct IrradianceRecord {
    float P[3];           // world-space position
    float E[3];           // irradiance
    float N[3];           // unit normal
    float R;              // harmonic mean distance of the hemisphere rays
    float mean;           // mean of the three irradiance channels
    float rotgrad[3];     // rotational gradient
    float transgrad[3];   // translational gradient
    uint8_t made;         // 1: made by a query; 0: read from a file
    uint8_t pad[3];
};
static_assert(sizeof(IrradianceRecord) == 72, "cache file records are 72 bytes");
static_assert(offsetof(IrradianceRecord, R) == 36 && offsetof(IrradianceRecord, rotgrad) == 44 &&
                  offsetof(IrradianceRecord, transgrad) == 56 && offsetof(IrradianceRecord, made) == 68,
              "cache file field offsets");

// Counters of the frame's queries.
struct IrradianceStats {
    long queries = 0;
    long computed = 0;     // estimates made by sampling
    long rays = 0;         // rays those needed
    long from_cache = 0;   // answers interpolated from the cache
    long records = 0;      // records made or loaded
    StatCounter memory;    // bytes of nodes and query-made records
};

class IrradianceCache {
public:
    // Keeps a copy of the record in the tree.
    void insert(const IrradianceRecord &r);
    // Reads the records of a cache file (flags cleared) into a balanced
    // tree; a missing file is silent; a directory, a size that is no multiple
    // of a record or a file too large for memory is reported and nothing is
    // read. Records that cannot take part (values not finite, a mean
    // distance not above 0) are skipped.
    void load(const char *filename);
    // Writes the records in tree order: raw records, or a RIB scene of
    // spheres for a name ending ".rib" (at least 5 characters). Nothing is
    // written for an empty cache.
    void save(const char *filename) const;
    // Forgets every record.
    void clear();
    // At most max records within radius of P.
    int gather(const Point &P, IrradianceRecord **out, int max, float radius) const
    {
        return tree_.gather(P, out, max, radius);
    }
    bool empty() const { return tree_.empty(); }
    size_t size() const { return tree_.size(); }
    // Nodes on the longest path of the tree.
    int depth() const { return tree_.depth(); }

    IrradianceStats stats;

private:
    KdTree<IrradianceRecord> tree_;
    std::deque<IrradianceRecord> records_;
};

// The records gathered by a query at most.
const int IRRADIANCE_GATHER_MAX = 200;

// The mean of what valid records give at P with normal N, or false when fewer
// than min_valid are valid (error at most max_error); with gradients, each
// record is first extrapolated to P.
bool interpolate_irradiance(IrradianceRecord *const *records, int n, const Point &P, const Point &N,
                            float max_error, int min_valid, bool gradients, Color &result);

// The strata of an estimate of m samples: nt in theta by np in phi.
void hemisphere_strata(int m, int &nt, int &np);

// What the rays of one estimate saw: colour and distance of stratum (j, k)
// at index j * np + k (1e38 for a miss).
struct HemisphereSamples {
    int nt = 1, np = 1;
    std::vector<Color> color;
    std::vector<float> dist;
};

// The record (flag 1) of an estimate at P in the frame (U, V, N): mean
// colour, harmonic mean distance and the rotational and translational
// gradients of the stratified samples.
IrradianceRecord irradiance_record(const Point &P, const Point &U, const Point &V, const Point &N,
                                   const HemisphereSamples &s);

// "Indirect illumination stats:" (nothing without queries).
void print_indirect_stats(FILE *out, const IrradianceStats &s);
