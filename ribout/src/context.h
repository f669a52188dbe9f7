// Output contexts of the RIB writer: one per RiBegin, newest first, each with
// its stream and the state that later requests need (basis steps for patch
// mesh and curve counts, binary floats, light and object numbers).
#pragma once
#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/files.h"
#include "ri_common/ri.h"

namespace velk { class ChildProcess; }

namespace ribout {

// Where the requests go: standard output, a file or a pipe into a program.
class Output {
public:
    Output();
    ~Output();
    Output(const Output &) = delete;
    Output &operator=(const Output &) = delete;

    void open_stdout();
    bool open_file(const char *name);
    // Starts argv[0] with its standard input connected to us.
    bool open_pipe(const std::vector<std::string> &argv);
    bool is_open() const { return open_; }
    bool is_pipe() const { return child_ != nullptr; }
    // Writes bytes; a pipe whose reader went away takes no more.
    void write(const char *data, size_t size);
    // Flushes; closes a file and puts it in place, closes a pipe and waits
    // for its program, leaves standard output open. False when a file could
    // not be written (the old one stays), or a pipe's program did not take
    // all the bytes or ended with a non-zero status (in *status).
    bool close(int *status = nullptr);

private:
    void flush_pipe();

    bool open_ = false;
    FILE *fp_ = nullptr;
    bool owns_fp_ = false;
    velk::OutputFile file_;
    std::unique_ptr<velk::ChildProcess> child_;
    std::string pending_;   // bytes for the pipe not yet written
    bool broken_ = false;
};

struct Context {
    Context *next = nullptr;   // the older context
    Output out;
    std::string name;          // as given to RiBegin
    bool named = false;        // false for standard output
    int ustep = 3, vstep = 3;  // basis steps
    int binary = 0;            // non-zero: floats are written in binary
    int next_light = 1;
    int next_object = 1;
};

// The current context, or null.
Context *current();
// Pushes a new context and makes it current; when its output cannot be
// opened, that is reported through the error handler and the context
// writes nowhere.
Context *push_context(const char *name);
// Closes the current context's output and removes the context; none is
// current afterwards. A pipe whose command failed is reported through the
// error handler.
void end_current();
// Sets RiLastError and calls the installed error handler.
void report_error(int code, int severity, const char *message);

// Makes the context of that name current; false when there is none.
bool select_context(const char *name);

} // namespace ribout
