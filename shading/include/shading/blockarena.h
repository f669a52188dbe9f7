// A stack of scratch memory for the parameter blocks and neighbour records of
// hit shading: blocks are taken in order and given back to a mark, so a
// nested shading (a shader tracing a ray) takes its blocks above its caller's.
// Chunks are kept once made; nothing is allocated per shading point after the
// first few.
#pragma once
#include <cstddef>
#include <memory>
#include <vector>

class BlockArena {
public:
    struct Mark {
        size_t chunk, used;
    };
    // bytes of memory aligned for any record, valid until release below it.
    void *take(size_t bytes);
    Mark mark() const { return {chunk_, used_}; }
    void release(const Mark &m)
    {
        chunk_ = m.chunk;
        used_ = m.used;
    }

private:
    static const size_t CHUNK = 64 * 1024;
    struct Chunk {
        std::unique_ptr<unsigned char[]> bytes;
        size_t size;
    };
    std::vector<Chunk> chunks_;
    size_t chunk_ = 0;   // chunk being filled
    size_t used_ = 0;    // bytes of it taken
};

// The arena of hit shading.
BlockArena &shading_arena();
