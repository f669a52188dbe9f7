// The arithmetic of tessellation, apart from any drawing: basis weights of
// cubic patches and curves, rational B-spline basis functions, how finely a
// NURBS patch is evaluated and how many patches a patch mesh holds.
#pragma once

// Weights of the four control values at t for a 4x4 basis matrix (16 floats,
// row-major): (t^3, t^2, t, 1) x basis; with derivative set, those of
// (3 t^2, 2 t, 1, 0) x basis.
void basis_weights(const float *basis, float t, bool derivative, float w[4]);

// The values at u of the n B-spline basis functions of an order (degree + 1)
// over knots (n + order values, non-decreasing); u is taken into the knot
// range [knots[order - 1], knots[n]].
void nurbs_basis(int order, const float *knots, int n, float u, double *out);

// Knot spans of non-zero width within [lo, hi] among the spans
// [knots[order - 1], knots[n]].
int nurbs_span_count(int order, const float *knots, int n, float lo, float hi);

// Evaluation steps of a NURBS direction: k = int(spans x detail x 2), halved
// from 17 on and again while above 64; at least 1.
int nurbs_steps(int spans, float relative_detail);

// Patches along one direction of a patch mesh of count vertices.
int mesh_patch_count(bool bicubic, bool periodic, int count, int step);

// Spans of a cubic curve of count vertices.
int cubic_curve_spans(bool periodic, int count, int step);
