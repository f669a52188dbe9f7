// Stands in for a system library that loses a block when it loads, as some GL
// driver libraries do, and is then unloaded before the leak report.
#include <cstdlib>

void *volatile velk_test_leaky_kept;

__attribute__((constructor)) static void lose_a_block_at_load()
{
    velk_test_leaky_kept = std::realloc(nullptr, 128);
    velk_test_leaky_kept = nullptr;
}
