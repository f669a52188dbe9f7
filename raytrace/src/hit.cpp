#include "raytrace/hit.h"

#include <cstdlib>
#include <new>

#include "ri_common/rierror.h"

namespace {

// Free records, linked through their first word.
struct FreeHit {
    FreeHit *next;
};
FreeHit *freed_intersections = nullptr;
long records_made = 0;
long records_free = 0;

} // namespace

void *Intersection::operator new(size_t size)
{
    if (size == sizeof(Intersection) && freed_intersections) {
        FreeHit *h = freed_intersections;
        freed_intersections = h->next;
        records_free--;
        return h;
    }
    void *p = std::malloc(size < sizeof(FreeHit) ? sizeof(FreeHit) : size);
    if (!p) {
        ri_error(RIE_NOMEM, RIE_SEVERE, "out of core memory");
        throw std::bad_alloc();
    }
    records_made++;
    return p;
}

void Intersection::operator delete(void *p)
{
    if (!p) return;
    FreeHit *h = static_cast<FreeHit *>(p);
    h->next = freed_intersections;
    freed_intersections = h;
    records_free++;
}

long hit_records_made() { return records_made; }
long hit_records_free() { return records_free; }
