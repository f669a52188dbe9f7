#include "rib_answer.h"

namespace {
const unsigned char END_OF_ANSWER = 0377;
}

void RibAnswerScanner::binary(int len, uint64_t item)
{
    if (len > 0) {
        state_ = COUNT;
        count_bytes_ = len;
        count_ = 0;
        per_item_ = item;
    } else if (item > 0) {
        state_ = PAYLOAD;
        payload_ = item;
    }
}

long RibAnswerScanner::scan(const unsigned char *bytes, size_t size)
{
    for (size_t i = 0; i < size; i++) {
        const unsigned c = bytes[i];
        switch (state_) {
        case STRING:
            if (c == '\\') state_ = STRING_ESCAPE;
            else if (c == '"') state_ = REQUESTS;
            continue;
        case STRING_ESCAPE:
            state_ = STRING;
            continue;
        case COMMENT:
            if (c == '\n' || c == '\r') state_ = REQUESTS;
            continue;
        case COUNT:
            count_ = (count_ << 8) | c;
            if (--count_bytes_ == 0) {
                state_ = REQUESTS;
                binary(0, count_ * per_item_);
            }
            continue;
        case PAYLOAD: {
            uint64_t skip = size - i < payload_ ? size - i : payload_;
            payload_ -= skip;
            i += skip - 1;
            if (payload_ == 0) state_ = REQUESTS;
            continue;
        }
        case REQUESTS:
            break;
        }
        if (c == END_OF_ANSWER) return long(i);
        if (c == '"') state_ = STRING;
        else if (c == '#') state_ = COMMENT;
        else if (c >= 0x80 && c <= 0x8f) binary(0, (c & 3) + 1);        // fixed-point number
        else if (c >= 0x90 && c <= 0x9f) binary(0, c - 0x90);           // short string
        else if (c >= 0xa0 && c <= 0xa3) binary(int(c - 0xa0 + 1), 1);  // string with a length
        else if (c == 0xa4) binary(0, 4);                               // float
        else if (c == 0xa5) binary(0, 8);                               // double
        else if (c == 0xa6) binary(0, 1);                               // request code
        else if (c >= 0xc8 && c <= 0xcb) binary(int(c - 0xc8 + 1), 4);  // float array
        else if (c == 0xcc || c == 0xcd || c == 0xcf) binary(0, 1);     // definitions, string handle
        else if (c == 0xce || c == 0xd0) binary(0, 2);
    }
    return -1;
}
