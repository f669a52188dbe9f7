// Records of one kind drawn from a free list that is refilled one zero-filled
// block at a time; every take and return is counted.
#pragma once
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "ri/counters.h"
#include "ri_common/rierror.h"

class RecordPool {
public:
    // record_size: bytes of one record; batch: records per block; nomem: the
    // message reported (severe) when a block cannot be had. With a cache-line
    // alignment and a size that is a multiple of it, no record straddles more
    // lines than its size needs.
    RecordPool(size_t record_size, int batch, const char *nomem, size_t align = 0)
        : size_(record_size < sizeof(Free) ? sizeof(Free) : record_size), batch_(batch), align_(align), nomem_(nomem)
    {
    }

    void *take()
    {
        if (!free_) refill();
        Free *r = free_;
        free_ = r->next;
        counter.add(1);
        return r;
    }

    void give_back(void *p)
    {
        if (!p) return;
        Free *r = static_cast<Free *>(p);
        r->next = free_;
        free_ = r;
        counter.subtract(1);
    }

    StatCounter counter;   // records taken

private:
    // A free record: its first bytes link the list.
    struct Free {
        Free *next;
    };

    void refill()
    {
        char *block = static_cast<char *>(align_ ? aligned_block() : calloc(batch_, size_));
        if (!block) {
            ri_error(RIE_NOMEM, RIE_SEVERE, "%s", nomem_);
            abort();   // nothing sensible is left to do
        }
        for (int i = batch_ - 1; i >= 0; i--) {
            Free *r = reinterpret_cast<Free *>(block + i * size_);
            r->next = free_;
            free_ = r;
        }
    }

    char *aligned_block()
    {
        size_t bytes = (batch_ * size_ + align_ - 1) / align_ * align_;
        void *p = aligned_alloc(align_, bytes);
        if (p) std::memset(p, 0, bytes);
        return static_cast<char *>(p);
    }

    size_t size_;
    int batch_;
    size_t align_;
    const char *nomem_;
    Free *free_ = nullptr;
};
