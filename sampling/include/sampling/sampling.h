// Sample patterns: stratified permutations that decorrelate the samples of a
// pixel, Poisson-disk sets, the concentric square-to-disk map and directions
// in a cone. The tables are made from streams of their own, one per sample
// count; every other draw comes from the global generator (sampling/random.h).
#pragma once
#include "ri_common/vecmath.h"

#include <cstdint>

// Number of permutations (and Poisson-disk sets) kept per sample count.
const int SAMPLE_TABLE_ROWS = 1007;

// Turns the "Allocating space for ..." reports on standard error on or off
// (the debug bit of the verbosity).
void sampling_set_debug(bool on);

// The stratum of sample k among n: entry k of the permutation that the seed's
// hash picks from the table for n; 0 when n is 1 or less.
int sample_permutation(int k, int n, int32_t seed);

// A jittered stratified point of the unit square.
void stratified_sample_2d(int k, int n, int32_t seed, float &u, float &v);
// The same, mapped onto the unit disk (lens samples).
void stratified_sample_2d_b(int k, int n, int32_t seed, float &x, float &y);

// Point k of the Poisson-disk set the seed picks for n points; two uniform
// random numbers when n is 1 or less.
void poisson_disk_sample(int k, int n, int32_t seed, float &u, float &v);

// The concentric map of the unit square onto the unit disk.
void square_to_disk(float u, float v, float &x, float &y);

// Two unit vectors perpendicular to the unit vector w and to each other
// (built on the axis w is least aligned with, so any w works).
void frame_about(const Point &w, Point &a, Point &b);

// Direction k of n, uniform in solid angle within the cone of half-angle
// angle (radians) about axis.
Point sample_cone_direction(int k, int n, int32_t seed, const Point &axis, float angle);

// A random unit direction on the side of normal n (at least 0.1 in cosine),
// by rejection from the cube (the normal itself when it admits none).
Point random_hemisphere_direction(const Point &n);
