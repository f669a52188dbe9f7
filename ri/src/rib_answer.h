// Finds where a RunProgram generator's answer ends: the byte 0377 where a
// request may begin. The answer is RIB, ASCII or binary, so the scanner
// steps over quoted strings, comments and binary values, whose bytes may be
// anything.
#pragma once
#include <cstddef>
#include <cstdint>

class RibAnswerScanner {
public:
    // Scans size more bytes of the answer: the offset in them of the ending
    // byte, or -1 when the answer goes on.
    long scan(const unsigned char *bytes, size_t size);

private:
    enum State { REQUESTS, STRING, STRING_ESCAPE, COMMENT, COUNT, PAYLOAD };
    State state_ = REQUESTS;
    int count_bytes_ = 0;        // length bytes still to read (COUNT)
    uint64_t count_ = 0;         // the length read so far
    uint64_t per_item_ = 1;      // payload bytes per counted item
    uint64_t payload_ = 0;       // payload bytes still to skip (PAYLOAD)
    // Starts a binary value: len length bytes, then that many items of
    // item bytes; with len 0, item bytes at once.
    void binary(int len, uint64_t item);
};
