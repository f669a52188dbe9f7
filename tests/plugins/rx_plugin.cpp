// A stand-in noise library: constant answers that the built-in noise never
// gives. Cellnoise is apart (rx_cellnoise.cpp): one library goes without it.
extern "C" {

int RxNoise(int, float *, int nout, float *out)
{
    for (int i = 0; i < nout; ++i) out[i] = 0.25f;
    return 0;
}

int RxPNoise(int, float *, float *, int nout, float *out)
{
    for (int i = 0; i < nout; ++i) out[i] = 0.125f;
    return 0;
}
}
