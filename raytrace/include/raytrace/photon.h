// Caustic photons: lights that ask for photons emit them before the pixel
// loop; each photon path is traced through diffuse bounces and stored at every
// hit after the first in one 3-d tree per renderer, which shading asks for the
// photon density around a point.
#pragma once
#include <cstdint>
#include <deque>

#include "raytrace/kdtree.h"
#include "ri_common/vecmath.h"

struct Photon {
    float P[3];       // world-space position
    float power[3];   // colour
    float N[3];       // unit normal of the surface at the stored hit
};
static_assert(sizeof(Photon) == 36, "photons are 36 bytes");

class PhotonMap {
public:
    // Keeps a copy of the photon in the tree.
    void insert(const Photon &p);
    // At most max photons within radius of P.
    int gather(const Point &P, Photon **out, int max, float radius) const
    {
        return tree_.gather(P, out, max, radius);
    }
    // Forgets every photon.
    void clear();
    bool empty() const { return tree_.empty(); }
    size_t size() const { return tree_.size(); }

private:
    KdTree<Photon> tree_;
    std::deque<Photon> photons_;
};

// The photons gathered by one density estimate at most.
const int PHOTON_GATHER_MAX = 200;
// Emitted directions a light sample may spend, per photon it is to store,
// before it gives up (a scene that keeps no photons would never fill its share).
const int PHOTON_TRIES_PER_PHOTON = 32;

// The emission direction of photon k: direction i of strata in the full
// sphere about +z, from the permutation row of the sequence.
Point photon_direction(int i, int strata, int sequence);

// The photons one light sample shoots: nphotons / samples with the low 8 bits
// cleared; 0 below 256.
int photons_per_sample(int nphotons, int samples);

// The density estimate from photons found within radius of a point with
// normal N (or none): the weighted sum of their powers over the disc, black
// for fewer than 2 counted photons.
Color photon_density(Photon *const *photons, int n, const Point *N, float radius);

// The weight of a photon seen from a point with normal N: the cosine between
// the normals clamped to [0, 1]; 0 drops the photon.
float photon_weight(const Photon &p, const Point &N);
