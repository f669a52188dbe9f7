// The counting allocator of the front end and the requested/peak/current
// counters that every module keeps for its end-of-frame statistics.
#pragma once
#include <cstddef>
#include <cstdint>

// Requested (running total), peak (largest current seen) and current counts.
struct StatCounter {
    int64_t requested = 0;
    int64_t peak = 0;
    int64_t current = 0;

    // requested += n, current += n, peak follows current.
    void add(int64_t n)
    {
        requested += n;
        current += n;
        if (current > peak) peak = current;
    }
    // current -= n; returns n.
    int64_t subtract(int64_t n)
    {
        current -= n;
        return n;
    }
};

// Allocates size bytes; on failure writes "Request for %d bytes" and reports
// "out of core memory" (severe). Returns null when the error handler returns.
void *myalloc(size_t size);
// The report of a failed allocation of size bytes: "Request for %zu bytes"
// (when size is known, above 0) and "out of core memory" (severe).
void report_out_of_core(size_t size);
// Frees a block of myalloc; a null pointer is an internal error.
void myfree(void *p);
