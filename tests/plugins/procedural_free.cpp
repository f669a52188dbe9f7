// The test procedural library's Free.
#include "tests/plugins/procedural_plugin.h"

extern "C" RtVoid Free(RtPointer data)
{
    velk_test_proc_calls[2]++;
    delete static_cast<Blind *>(data);
}
