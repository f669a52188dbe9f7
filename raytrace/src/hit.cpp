#include "raytrace/hit.h"

#include <cstdlib>
#include <new>

#include "ri_common/rierror.h"

namespace hit_pool {

FreeHit *free_list = nullptr;
long free_count = 0;

} // namespace hit_pool

namespace {

long records_made = 0;

} // namespace

void *hit_pool::new_record(size_t size)
{
    void *p = std::malloc(size < sizeof(FreeHit) ? sizeof(FreeHit) : size);
    if (!p) {
        ri_error(RIE_NOMEM, RIE_SEVERE, "out of core memory");
        throw std::bad_alloc();
    }
    records_made++;
    return p;
}

long hit_records_made() { return records_made; }
long hit_records_free() { return hit_pool::free_count; }
