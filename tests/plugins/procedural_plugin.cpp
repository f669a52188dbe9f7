// A procedural library for the DynamicLoad tests: its argument string is a
// radius, and it makes one sphere of that radius through the RI. It counts
// its calls and keeps the detail it was given, for the tests to read.
#include <cstdlib>

#include "ri/ri.h"

namespace {

struct Blind {
    float radius;
};

} // namespace

extern "C" {

int velk_test_proc_calls[3];   // ConvertParameters, Subdivide, Free
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

#ifndef PROC_WITHOUT_FREE
RtVoid Free(RtPointer data)
{
    velk_test_proc_calls[2]++;
    delete static_cast<Blind *>(data);
}
#endif

} // extern "C"
