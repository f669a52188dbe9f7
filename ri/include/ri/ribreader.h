// The RIB tokenizer: ASCII and binary RIB, optionally gzip-compressed, from a
// file, standard input or an open descriptor; and the value readers that the
// request table uses to read the arguments of a request.
#pragma once
#include <map>
#include <string>
#include <zlib.h>

#include "ri/dynarray.h"
#include "ri_common/ri.h"

// Token kinds; other 7-bit characters (and undecodable bytes) are their own kind.
enum RibTokenKind {
    RIB_END = -1,          // end of input, never a byte value
    RIB_IDENT = 'A',       // request name
    RIB_STRING = '"',      // string, quotes removed and escapes resolved
    RIB_NUMBER = '1',      // number (text and value)
    RIB_BINFLOAT = 'f',    // binary float (value only)
    RIB_OPEN = '[',
    RIB_CLOSE = ']',
    RIB_STRUCTURE = '#'    // the first '#' of "##"
};

struct RibToken {
    int kind = RIB_END;
    std::string text;   // the name, string, number text or character
    double value = 0;   // value of a number or binary float
};

// Longest token (identifier, number or string) the reader takes.
constexpr size_t RIB_MAX_TOKEN = 4095;

// Value arrays of the request being read, reused from request to request.
DynArray<RtFloat> &rib_floats();
DynArray<RtToken> &rib_strings();
DynArray<RtInt> &rib_ints();
// Trims the value arrays (once per world) to return memory.
void shrink_rib_arrays();

// Converts a RIB number to an integer, saturating at the integer range (NaN is 0).
RtInt rib_to_int(double v);
// Converts a double to a float, saturating at the float range.
RtFloat rib_to_float(double v);

class RibReader {
public:
    RibReader() = default;
    ~RibReader();
    RibReader(const RibReader &) = delete;
    RibReader &operator=(const RibReader &) = delete;

    // Opens a named file ("rb"; plain files are read as they are). False when it
    // cannot be opened.
    bool open(const char *name);
    // Reads from a copy of an open descriptor (the caller keeps fd), under the
    // given name. False when no stream can be made.
    bool open_fd(int fd, const char *name);
    // Closes the stream, forgets this stream's definitions and clears the
    // published file and line.
    void close();

    // The next token; pushed-back tokens come first.
    int next_token(RibToken &tok);
    // Makes tok the next token returned.
    void push_back(const RibToken &tok);
    // Consumes the rest of the current line (the newline too).
    void skip_line();
    // The next character, not consumed; RIB_END at end of input.
    int lookahead() const { return lookahead_; }
    // Consumes the lookahead.
    void consume() { next_char(); }
    // Publishes this reader's file and the line of its current token as the
    // current RIB position.
    void publish() const;
    // Marks the start of a request at the current token (end_request: outside
    // any request): a token pushed back after its arguments puts the position
    // back on the request's line.
    void begin_request() { request_line_ = token_line_; }
    void end_request() { request_line_ = 0; }
    const std::string &file_name() const { return name_; }
    int line() const { return line_; }

    // Value readers: 0 on success; -1 after reporting a syntax error.
    int read_string(std::string &out);
    int read_number(double &value, std::string *text = nullptr);
    int read_float(RtFloat &out);
    int read_floats(int count, RtFloat *buffer);
    int read_int_array(int count, size_t index);
    int read_float_array(int count, size_t index);
    int read_int_list(int &count, size_t index);
    int read_float_list(int &count, size_t index);
    int read_string_list(int &count, size_t index);
    // The value of an undeclared parameter: one number or string, or a
    // bracketed array of numbers or of strings. Sets is_string and count.
    int read_param_value(bool &is_string, int &count, size_t float_index, size_t string_index);

    static int verbosity;   // reader verbosity (the options' verbosity bits)

private:
    int read_byte();
    int next_char();
    // A token starts on that line, which becomes the current position.
    void start_token(int line);
    int skip_whitespace();
    bool append_limited(std::string &text, int c);
    int binary_token(int byte, RibToken &tok);
    bool read_bytes(int n, unsigned long &out);
    bool item_bytes(int n, unsigned long &out, RibToken &tok);
    bool read_raw_string(unsigned long n, RibToken &tok);
    int read_definition_token(RibToken &tok);
    void truncated();
    template <class Store> int read_fixed(int count, Store store);
    template <class Store> int read_list(int &count, Store store);

    gzFile stream_ = nullptr;
    int lookahead_ = RIB_END;
    std::string name_;
    int line_ = 0;
    int char_line_ = 0;           // line of the last character consumed
    int token_line_ = 0;          // line where the current token starts
    int before_token_line_ = 0;   // that of the token before it
    int pushed_line_ = 0;         // that of the pushed-back token
    int request_line_ = 0;        // line of the request being read; 0 outside
    bool pushed_ = false;
    RibToken pushed_token_;
    int countdown_ = 0;           // 1 + floats left of a binary array; 0 outside
    int definition_depth_ = 0;
    std::map<int, RtToken> request_codes_;
    std::map<int, RtToken> string_handles_;
};
