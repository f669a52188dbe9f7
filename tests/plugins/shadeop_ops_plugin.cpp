// A shadeop library for the interpreter's tests: float, colour and string
// results, an init function that counts its calls and a cleanup function that
// says when it runs.
#include <cstdio>
#include <string>

struct ShadeopTableRow {
    const char *declaration;
    const char *init;
    const char *cleanup;
};

extern "C" {

int shadeop_init_calls = 0;

void *sq_init()
{
    static int data = 1000;
    ++shadeop_init_calls;
    return &data;
}

void sq_cleanup(void *data)
{
    std::fprintf(stderr, "shadeop cleanup %d\n", *static_cast<int *>(data));
}

ShadeopTableRow sq_shadeops[] = {{"float sq(float)", "sq_init", "sq_cleanup"}, {"", nullptr, nullptr}};

// The square plus the init data / 1000.
int sq(void *data, int, void **argv)
{
    float x = *static_cast<float *>(argv[1]);
    *static_cast<float *>(argv[0]) = x * x + *static_cast<int *>(data) / 1000;
    return 0;
}

ShadeopTableRow blend_shadeops[] = {{"color blend(color, color, float)", "", ""}, {nullptr, nullptr, nullptr}};

int blend(void *, int, void **argv)
{
    float *r = static_cast<float *>(argv[0]);
    const float *a = static_cast<float *>(argv[1]), *b = static_cast<float *>(argv[2]);
    float t = *static_cast<float *>(argv[3]);
    for (int i = 0; i < 3; ++i) r[i] = a[i] + t * (b[i] - a[i]);
    return 0;
}

ShadeopTableRow greet_shadeops[] = {{"string greet(string)", "", ""}, {nullptr, nullptr, nullptr}};

int greet(void *, int, void **argv)
{
    static std::string text;
    text = std::string("hello ") + *static_cast<const char **>(argv[1]);
    *static_cast<const char **>(argv[0]) = text.c_str();
    return 0;
}

}
