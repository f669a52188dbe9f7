// The libFuzzer target of every entry: the program's own name, fuzz_ENTRY,
// says which entry of fuzz/entries.h it drives.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fuzz/entries.h"

namespace {

int (*entry)(const uint8_t *data, size_t size) = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    const char *self = *argc > 0 ? (*argv)[0] : "";
    const char *slash = std::strrchr(self, '/');
    const char *base = slash ? slash + 1 : self;
    if (std::strncmp(base, "fuzz_", 5) == 0)
        for (size_t i = 0; i < fuzz::ENTRY_COUNT; ++i)
            if (std::strcmp(base + 5, fuzz::ENTRIES[i].name) == 0) entry = fuzz::ENTRIES[i].run;
    if (!entry) {
        std::fprintf(stderr, "%s: no fuzz entry of that name\n", base);
        std::exit(1);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return entry(data, size);
}
