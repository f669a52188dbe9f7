// One request being written: composed in full, then handed to the current
// output in one piece when the object goes (or dropped when withdrawn).
#pragma once
#include <string>

#include "ri_common/ri.h"
#include "context.h"
#include "ribout/ribout.h"

namespace ribout {

// A string as it stands between quotes in RIB: "" for null, with quotes,
// backslashes and line ends escaped so that the reader gets it back whole.
std::string str(const char *s);

class Request {
public:
    // Binds to the current context; without one nothing is written.
    Request();
    // Writes the request unless it was withdrawn.
    ~Request();
    Request(const Request &) = delete;
    Request &operator=(const Request &) = delete;

    Context *context() const { return ctx_; }
    // printf-style text.
    void text(const char *format, ...) __attribute__((format(printf, 2, 3)));
    // n floats: "[1 2 3]", or in binary a length-coded array of big-endian floats.
    void floats(long n, const RtFloat *v);
    // One float: "%g ", or in binary a coded big-endian float.
    void single(RtFloat v);
    // "[1 2 3 ]".
    void ints(long n, const RtInt *v);
    // "[\"a\" \"b\" ]".
    void strings(long n, const RtToken *v);
    // The parameter list of an option, attribute, shader or light: the name
    // argument (when not null), the light number (when above 0), each declared
    // pair with its values, then the end of the line.
    void params(const char *name, int light, RtInt n, const RtToken tokens[], const RtPointer values[]);
    // The parameter list of a primitive: each declared pair with its values
    // counted by its storage class (constant 1, uniform nuniform, varying
    // nvarying, vertex nvertex), then the end of the line.
    void prim_params(long nvertex, long nvarying, long nuniform, RtInt n, const RtToken tokens[],
                     const RtPointer values[]);
    // Nothing of this request is written.
    void withdraw() { withdrawn_ = true; }

private:
    bool binary() const { return ctx_ && ctx_->binary; }
    void pairs(const long counts[5], RtInt n, const RtToken tokens[], const RtPointer values[]);
    void value(const char *token, int type, long count, const void *data);
    void raw_float(RtFloat v);

    Context *ctx_;
    std::string buf_;
    bool withdrawn_ = false;
};

// A request of a name and one float array: "Color [1 0 0]".
void float_array_request(const char *name, long n, const RtFloat *v);

// A request of a name and a parameter list: "Surface \"plastic\" \"Ks\" [0.5]".
void list_request(const char *request, RtToken name, RtInt n, const RtToken tokens[], const RtPointer params[]);

} // namespace ribout

// Defines rib_writer::WordV as a request of a name and a parameter list.
#define RIBOUT_LIST_REQUEST(Word)                                                  \
    RtVoid rib_writer::Word##V(RtToken name, RtInt n, RtToken tokens[], RtPointer params[]) \
    {                                                                              \
        ribout::list_request(#Word, name, n, tokens, params);                      \
    }
