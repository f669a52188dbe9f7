#include "shading/blockarena.h"

void *BlockArena::take(size_t bytes)
{
    bytes = (bytes + 15) & ~static_cast<size_t>(15);
    while (chunk_ < chunks_.size() && used_ + bytes > chunks_[chunk_].size) {
        ++chunk_;
        used_ = 0;
    }
    if (chunk_ == chunks_.size()) {
        size_t size = bytes > CHUNK ? bytes : CHUNK;
        chunks_.push_back({std::unique_ptr<unsigned char[]>(new unsigned char[size]), size});
        used_ = 0;
    }
    void *p = chunks_[chunk_].bytes.get() + used_;
    used_ += bytes;
    return p;
}

BlockArena &shading_arena()
{
    static BlockArena arena;
    return arena;
}
