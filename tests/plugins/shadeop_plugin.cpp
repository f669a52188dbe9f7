// A shadeop library for the compiler tests: one function with two overloads.
struct ShadeopTableRow {
    const char *declaration;
    const char *init;
    const char *cleanup;
};

extern "C" {

ShadeopTableRow sqr_shadeops[] = {
    {"float sqr_f(float)", "", ""},
    {"color sqr_c(color)", "", ""},
    {nullptr, nullptr, nullptr},
};

int sqr_f(void *, int, void **argv)
{
    float *result = static_cast<float *>(argv[0]);
    float x = *static_cast<float *>(argv[1]);
    *result = x * x;
    return 0;
}

}
