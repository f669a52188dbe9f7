#include "ri/ribreader.h"

#include <charconv>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "ri_common/rierror.h"

#include "ri/tokens.h"

int RibReader::verbosity = 1;

namespace {

const char PROTOCOL_BOTCH[] = "Binary RIB protocol botch: request not recognized";
const char UNDEFINED_REQUEST[] = "Binary RIB protocol botch: request code %d was never defined; its arguments are skipped";
const char UNDEFINED_STRING[] = "Binary RIB protocol botch: string id %d was never defined";
const char TRUNCATED[] = "Binary RIB protocol botch: input ends inside a value";
const int MAX_DEFINITION_DEPTH = 8;


bool is_letter(int c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool is_digit(int c) { return c >= '0' && c <= '9'; }

void syntax_error(const char *message) { ri_error(RIE_SYNTAX, RIE_ERROR, "%s", message); }

// The value of a number's text: the same correctly rounded value that strtod
// gives, without its locale work; strtod still takes what the fast reader
// refuses (a lone sign or point, out-of-range exponents).
double number_value(const std::string &text) {
    double v = 0;
    const char *end = text.data() + text.size();
    std::from_chars_result r = std::from_chars(text.data(), end, v);
    if (r.ec == std::errc() && r.ptr == end) return v;
    return std::strtod(text.c_str(), nullptr);
}

} // namespace

DynArray<RtFloat> &rib_floats() {
    static DynArray<RtFloat> a(16384);
    return a;
}
DynArray<RtToken> &rib_strings() {
    static DynArray<RtToken> a(64);
    return a;
}
DynArray<RtInt> &rib_ints() {
    static DynArray<RtInt> a(128);
    return a;
}

void shrink_rib_arrays() {
    rib_floats().shrink(1000);
    rib_strings().shrink(100);
    rib_ints().shrink(500);
}

RtInt rib_to_int(double v) {
    if (!(v == v)) return 0;
    if (v >= 2147483647.0) return INT_MAX;
    if (v <= -2147483648.0) return INT_MIN;
    return static_cast<RtInt>(v);
}

RtFloat rib_to_float(double v) {
    if (v > FLT_MAX) return HUGE_VALF;
    if (v < -FLT_MAX) return -HUGE_VALF;
    return static_cast<RtFloat>(v);
}

// ---------------------------------------------------------------- streams

RibReader::~RibReader() { close(); }

bool RibReader::open(const char *name) {
    close();
    stream_ = gzopen(name, "rb");
    if (!stream_) return false;
    name_ = name;
    line_ = char_line_ = token_line_ = before_token_line_ = 1;
    lookahead_ = read_byte();
    if (lookahead_ == '\n') line_++;
    publish();
    return true;
}

bool RibReader::open_fd(int fd, const char *name) {
    close();
    int copy = dup(fd);
    if (copy < 0) return false;
    stream_ = gzdopen(copy, "rb");
    if (!stream_) {
        ::close(copy);
        return false;
    }
    name_ = name ? name : "";
    line_ = char_line_ = token_line_ = before_token_line_ = 1;
    lookahead_ = read_byte();
    if (lookahead_ == '\n') line_++;
    publish();
    return true;
}

void RibReader::close() {
    if (stream_) {
        gzclose(stream_);
        stream_ = nullptr;
        rib_current_file = nullptr;
        rib_current_line = 0;
    }
    lookahead_ = RIB_END;
    pushed_ = false;
    countdown_ = 0;
    request_codes_.clear();
    string_handles_.clear();
}

void RibReader::publish() const {
    rib_current_file = name_.c_str();
    rib_current_line = token_line_;
}

void RibReader::start_token(int line) {
    before_token_line_ = token_line_;
    token_line_ = line;
    rib_current_line = token_line_;
}

// ---------------------------------------------------------------- characters

int RibReader::read_byte() {
    if (!stream_) return RIB_END;
    int c = gzgetc(stream_);
    return c < 0 ? RIB_END : c;
}

int RibReader::next_char() {
    int c = lookahead_;
    if (c == RIB_END) return c;
    lookahead_ = read_byte();
    char_line_ = line_;
    if (lookahead_ == '\n') line_++;
    return c;
}

int RibReader::skip_whitespace() {
    for (;;) {
        int c = lookahead_;
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return c == RIB_END ? -1 : 0;
        if (c == '\n' && verbosity > 1 && line_ % 2000 == 0 &&
            (line_ < 10000 || (line_ < 30000 && line_ % 10000 == 0) || line_ % 50000 == 0)) {
            std::fprintf(stderr, "\rRead line [%ld] ", static_cast<long>(line_));
            std::fflush(stderr);
        }
        next_char();
    }
}

void RibReader::skip_line() {
    while (lookahead_ != RIB_END && lookahead_ != '\n') next_char();
    next_char();
}

// Appends c unless the token is full; false (once reported) when it is.
bool RibReader::append_limited(std::string &text, int c) {
    if (text.size() < RIB_MAX_TOKEN) {
        text.push_back(static_cast<char>(c));
        return true;
    }
    return false;
}

// ---------------------------------------------------------------- tokens

void RibReader::push_back(const RibToken &tok) {
    pushed_token_ = tok;
    pushed_ = true;
    // Until it is read again, the position is that of the request being
    // read (what follows reports on it), else that of the token before it.
    pushed_line_ = token_line_;
    token_line_ = request_line_ > 0 ? request_line_ : before_token_line_;
    rib_current_line = token_line_;
}

int RibReader::next_token(RibToken &tok) {
    if (pushed_) {
        pushed_ = false;
        tok = pushed_token_;
        before_token_line_ = token_line_;
        token_line_ = pushed_line_;
        rib_current_line = token_line_;
        return tok.kind;
    }
    for (;;) {
        tok.text.clear();
        tok.value = 0;
        if (countdown_ != 0) {
            start_token(char_line_);  // the array goes on where its last byte was
            int r = binary_token(0, tok);
            if (r != 0) return tok.kind;
            continue;
        }
        if (skip_whitespace() < 0) {
            // What a request does at the end of the input reports on the request.
            if (request_line_ > 0) start_token(request_line_);
            return tok.kind = RIB_END;
        }
        start_token(line_);
        int c = lookahead_;
        bool too_long = false;
        if (c == '#') {
            next_char();
            // Between a request and its arguments a structure comment is
            // just a comment (writers put them between any two lines).
            if (lookahead_ == '#' && request_line_ == 0) {
                tok.text = "#";
                return tok.kind = RIB_STRUCTURE;
            }
            skip_line();
            continue;
        }
        if (is_letter(c)) {
            while (is_letter(lookahead_) || is_digit(lookahead_) || lookahead_ == '_')
                too_long |= !append_limited(tok.text, next_char());
            tok.kind = RIB_IDENT;
        } else if (is_digit(c) || c == '-' || c == '+' || c == '.') {
            if (c == '-') tok.text.push_back(static_cast<char>(next_char()));
            else if (c == '+') next_char();
            while (is_digit(lookahead_)) too_long |= !append_limited(tok.text, next_char());
            if (lookahead_ == '.') too_long |= !append_limited(tok.text, next_char());
            while (is_digit(lookahead_)) too_long |= !append_limited(tok.text, next_char());
            if (lookahead_ == 'e' || lookahead_ == 'E') {
                too_long |= !append_limited(tok.text, next_char());
                if (lookahead_ == '-' || lookahead_ == '+') too_long |= !append_limited(tok.text, next_char());
                while (is_digit(lookahead_)) too_long |= !append_limited(tok.text, next_char());
            }
            tok.value = number_value(tok.text);
            tok.kind = RIB_NUMBER;
        } else if (c == '"') {
            // A string runs to its closing quote, across lines.
            next_char();
            while (lookahead_ != RIB_END && lookahead_ != '"') {
                int ch = next_char();
                if (ch == '\\') {
                    if (lookahead_ == RIB_END) break;
                    ch = next_char();
                    if (ch == 'n') ch = '\n';
                    else if (ch == 'r') ch = '\r';
                    else if (ch == 't') ch = '\t';
                }
                too_long |= !append_limited(tok.text, ch);
            }
            if (lookahead_ == RIB_END) {
                ri_error(RIE_SYNTAX, RIE_ERROR, "String not terminated before the end of the input");
                return tok.kind = RIB_END;
            }
            next_char();  // the closing quote
            tok.kind = RIB_STRING;
        } else if (c < 128) {
            tok.text.assign(1, static_cast<char>(next_char()));
            return tok.kind = c;
        } else {
            next_char();
            int r = binary_token(c, tok);
            if (r != 0) return tok.kind;
            continue;
        }
        if (!too_long) return tok.kind;
        ri_error(RIE_SYNTAX, RIE_ERROR, "RIB token longer than %d characters: \"%.40s...\"",
                 static_cast<int>(RIB_MAX_TOKEN), tok.text.c_str());
    }
}

// ---------------------------------------------------------------- binary

void RibReader::truncated() {
    syntax_error(TRUNCATED);
    countdown_ = 0;
}

// Reads n bytes as one big-endian number.
bool RibReader::read_bytes(int n, unsigned long &out) {
    out = 0;
    for (int i = 0; i < n; i++) {
        int c = next_char();
        if (c == RIB_END) return false;
        out = (out << 8) | static_cast<unsigned long>(c);
    }
    return true;
}

// Reads n bytes of an item; at the end of input the item is reported as cut
// short and tok becomes the end of input.
bool RibReader::item_bytes(int n, unsigned long &out, RibToken &tok) {
    if (read_bytes(n, out)) return true;
    truncated();
    tok.kind = RIB_END;
    return false;
}

// Reads a string of n bytes, taking the bytes as they come (never allocating
// more than the input holds).
bool RibReader::read_raw_string(unsigned long n, RibToken &tok) {
    bool too_long = false;
    for (unsigned long i = 0; i < n; i++) {
        int c = next_char();
        if (c == RIB_END) return false;
        too_long |= !append_limited(tok.text, c);
    }
    tok.kind = RIB_STRING;
    if (too_long) {
        ri_error(RIE_SYNTAX, RIE_ERROR, "RIB token longer than %d characters: \"%.40s...\"",
                 static_cast<int>(RIB_MAX_TOKEN), tok.text.c_str());
        tok.text.resize(RIB_MAX_TOKEN);
    }
    return true;
}

// The token that a definition names: read as any token, but definitions may
// not nest without bound.
int RibReader::read_definition_token(RibToken &tok) {
    if (definition_depth_ >= MAX_DEFINITION_DEPTH) {
        syntax_error(PROTOCOL_BOTCH);
        return RIB_END;
    }
    definition_depth_++;
    int kind = next_token(tok);
    definition_depth_--;
    return kind;
}

// Decodes one binary item that began with byte (or continues a float array
// when byte is 0). Returns 1 with a token, 0 after a definition (no token), and
// 1 with kind RIB_END when the input ends inside the item.
int RibReader::binary_token(int byte, RibToken &tok) {
    unsigned long v = 0;
    if (byte == 0) {  // inside a float array
        if (countdown_ == 1) {
            countdown_ = 0;
            tok.text = "]";
            tok.kind = RIB_CLOSE;
            return 1;
        }
        if (!item_bytes(4, v, tok)) return 1;
        countdown_--;
        uint32_t bits = static_cast<uint32_t>(v);
        float f;
        std::memcpy(&f, &bits, 4);
        tok.value = f;
        tok.kind = RIB_BINFLOAT;
        return 1;
    }
    if (byte <= 0x8f) {  // fixed-point number: w + 1 bytes, d fraction bytes
        int w = byte & 3, d = (byte >> 2) & 3;
        if (!item_bytes(w + 1, v, tok)) return 1;
        int bits = 8 * (w + 1);
        long long iv = static_cast<long long>(v);
        if (iv & (1LL << (bits - 1))) iv -= 1LL << bits;  // sign of the top byte
        double value = static_cast<double>(iv);
        for (int i = 0; i < d; i++) value /= 256.0;
        char buf[64];
        if (d == 0) std::snprintf(buf, sizeof buf, "%lld", iv);
        else std::snprintf(buf, sizeof buf, "%.17g", value);
        tok.text = buf;
        tok.value = value;
        tok.kind = RIB_NUMBER;
        return 1;
    }
    if (byte <= 0xa3) {  // strings: short (length in the byte) or with a length
        unsigned long n = 0;
        if (byte <= 0x9f) n = static_cast<unsigned long>(byte - 0x90);
        else if (!item_bytes(byte - 0xa0 + 1, n, tok)) return 1;
        if (!read_raw_string(n, tok)) {
            truncated();
            tok.text.clear();
            tok.kind = RIB_END;
        }
        return 1;
    }
    switch (byte) {
    case 0xa4:
    case 0xa5: {
        if (!item_bytes(byte == 0xa4 ? 4 : 8, v, tok)) return 1;
        if (byte == 0xa4) {
            uint32_t bits = static_cast<uint32_t>(v);
            float f;
            std::memcpy(&f, &bits, 4);
            tok.value = f;
        } else {
            uint64_t bits = static_cast<uint64_t>(v);
            double d;
            std::memcpy(&d, &bits, 8);
            tok.value = rib_to_float(d);
        }
        tok.kind = RIB_BINFLOAT;
        return 1;
    }
    case 0xa6: {
        if (!item_bytes(1, v, tok)) return 1;
        // An undefined code is an identifier without a name, whose
        // arguments the request loop skips.
        auto it = request_codes_.find(static_cast<int>(v));
        if (it == request_codes_.end() || !*it->second)
            ri_error(RIE_SYNTAX, RIE_ERROR, UNDEFINED_REQUEST, static_cast<int>(v));
        else tok.text = it->second;
        tok.kind = RIB_IDENT;
        return 1;
    }
    case 0xc8: case 0xc9: case 0xca: case 0xcb: {
        if (!item_bytes(byte - 0xc8 + 1, v, tok)) return 1;
        // The floats are delivered one per call, so a length larger than the
        // input costs nothing until the input runs out.
        countdown_ = static_cast<int>(v > static_cast<unsigned long>(INT_MAX - 1) ? INT_MAX - 1 : v) + 1;
        tok.text = "[";
        tok.kind = RIB_OPEN;
        return 1;
    }
    case 0xcc: case 0xcd: case 0xce: {
        int idbytes = byte == 0xce ? 2 : 1;
        if (!item_bytes(idbytes, v, tok)) return 1;
        RibToken def;
        if (read_definition_token(def) == RIB_END) {
            tok.kind = RIB_END;
            return 1;
        }
        RtToken name = NewToken(def.text.c_str());
        if (byte == 0xcc) request_codes_[static_cast<int>(v)] = name;
        else string_handles_[static_cast<int>(v)] = name;
        return 0;
    }
    case 0xcf: case 0xd0: {
        if (!item_bytes(byte == 0xcf ? 1 : 2, v, tok)) return 1;
        // A handle of its own kind, so that it is told even on the line of
        // the syntax error before it.
        auto it = string_handles_.find(static_cast<int>(v));
        if (it == string_handles_.end()) ri_error(RIE_BADHANDLE, RIE_ERROR, UNDEFINED_STRING, static_cast<int>(v));
        else tok.text = it->second;
        tok.kind = RIB_STRING;
        return 1;
    }
    default:
        ri_error(RIE_SYNTAX, RIE_ERROR, "RIB token, character %d (octal %o), not understood", byte,
                 static_cast<unsigned>(byte));
        tok.text.assign(1, static_cast<char>(byte));
        tok.kind = byte;
        return 1;
    }
}
