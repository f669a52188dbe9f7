// A procedural library for the DynamicLoad tests: its argument string is a
// radius, and it makes one sphere of that radius through the RI. It counts
// its calls and keeps the detail it was given, for the tests to read. Its
// Free is apart (procedural_free.cpp): one library goes without it.
#include <cstdlib>

#include "tests/plugins/procedural_plugin.h"

extern "C" {

int velk_test_proc_calls[3];
float velk_test_proc_detail;

RtPointer ConvertParameters(char *args)
{
    velk_test_proc_calls[0]++;
    return new Blind{(float)std::atof(args)};
}

RtVoid Subdivide(RtPointer data, RtFloat detail)
{
    velk_test_proc_calls[1]++;
    velk_test_proc_detail = detail;
    float r = static_cast<Blind *>(data)->radius;
    RiSphere(r, -r, r, 360, RI_NULL);
}
} // extern "C"
