// A libFuzzer target: FUZZ_ENTRY names the entry of fuzz/entries.h it drives.
#include "fuzz/entries.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return FUZZ_ENTRY(data, size);
}
