// Noise: gradient noise of one to four dimensions, its periodic form and cell
// noise, with float and three-component results, behind the noise-library
// calling convention so that an outside library can replace the kernels.
#pragma once

// Gradient noise; results in about [0, 1], exactly 0.5 at lattice points.
float noise1(float x);
float noise2(float x, float y);
float noise3(float x, float y, float z);
float noise4(float x, float y, float z, float w);

// Periodic gradient noise; a period below 1 leaves its axis non-periodic.
float pnoise1(float x, int px);
float pnoise2(float x, float y, int px, int py);
float pnoise3(float x, float y, float z, int px, int py, int pz);
float pnoise4(float x, float y, float z, float w, int px, int py, int pz, int pw);

// Cell noise: one value in [0, 1) per unit cell (cells begin 0.001 early).
float cellnoise1(float x);
float cellnoise2(float x, float y);
float cellnoise3(float x, float y, float z);
float cellnoise4(float x, float y, float z, float w);

extern "C" {
// Noise of nin (1..4) inputs with nout (1 or 3) outputs; 0 when done, 1 (and
// nothing written) for other dimensions. Exported for plug-ins.
int RxNoise(int nin, float *in, int nout, float *out);
// Periodic noise, one period per input (rounded down).
int RxPNoise(int nin, float *in, float *period, int nout, float *out);
// Cell noise.
int RxCellNoise(int nin, float *in, int nout, float *out);
}

// At the first call with enabled set, looks for the noise library
// ("librx.so" in the current directory, else "lib/librx.so" in the current
// directory or under $RMANTREE) and, when it exports RxNoise, RxPNoise and
// RxCellNoise, routes all noise through it; otherwise says so (a warning)
// and keeps the built-in noise. Later calls do nothing.
void load_rx_library(bool enabled);
