#include "ri/counters.h"

#include <cstdio>
#include <cstdlib>

#include "ri_common/rierror.h"

void *myalloc(size_t size)
{
    void *p = malloc(size ? size : 1);
    if (!p && size > 0) report_out_of_core(size);
    return p;
}

void report_out_of_core(size_t size)
{
    if (size > 0) fprintf(stderr, "Request for %zu bytes\n", size);
    ri_error(RIE_NOMEM, RIE_SEVERE, "out of core memory");
}

void myfree(void *p)
{
    if (!p) {
        ri_assert_report("myalloc", 92);
        return;
    }
    free(p);
}
