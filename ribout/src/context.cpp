#include "context.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/files.h"
#include "platform/process.h"

namespace ribout {

namespace {

Context *contexts = nullptr;       // newest first
Context *current_context = nullptr;

// Bytes gathered for a pipe before they are written.
const size_t PIPE_CHUNK = 65536;

// The programs a bare name opens a pipe into.
const char *const PIPE_PROGRAMS[] = {"raylume", "raylumev", "pevrin", "prman"};

bool same_name(const Context *c, const char *name)
{
    if (!name) return !c->named;
    return c->named && c->name == name;
}

// The program decides what a failure means: it is told through the error
// handler and RiLastError, and the call returns.
void fail(int code, const std::string &message)
{
    report_error(code, RIE_ERROR, message.c_str());
}

} // namespace

Output::Output() = default;

Output::~Output()
{
    close();
}

void Output::open_stdout()
{
    fp_ = stdout;
    owns_fp_ = false;
    open_ = true;
}

bool Output::open_file(const char *name)
{
    // The RIB goes beside the file and takes its place when complete.
    fp_ = name && *name && file_.open(name) ? std::fopen(file_.path().c_str(), "wb") : nullptr;
    if (!fp_) file_.discard();
    owns_fp_ = true;
    open_ = fp_ != nullptr;
    return open_;
}

bool Output::open_pipe(const std::vector<std::string> &argv)
{
    child_ = std::make_unique<velk::ChildProcess>();
    if (!child_->start(argv, velk::ChildProcess::PIPE_INPUT)) {
        child_.reset();
        return false;
    }
    open_ = true;
    return true;
}

void Output::write(const char *data, size_t size)
{
    if (!open_) return;
    if (child_) {
        pending_.append(data, size);
        if (pending_.size() >= PIPE_CHUNK) flush_pipe();
    } else if (fp_) {
        std::fwrite(data, 1, size, fp_);
    }
}

void Output::flush_pipe()
{
    if (!broken_ && !pending_.empty() && !child_->write_input(pending_)) broken_ = true;
    pending_.clear();
}

bool Output::close(int *status)
{
    if (!open_) return true;
    open_ = false;
    bool ok = true;
    if (child_) {
        flush_pipe();
        child_->close_input();
        int st = child_->wait();
        child_.reset();
        if (status) *status = st;
        ok = st == 0 && !broken_;
    } else if (fp_) {
        if (owns_fp_) {
            ok = !std::ferror(fp_);
            ok = std::fclose(fp_) == 0 && ok && file_.commit();
            file_.discard();
        } else {
            std::fflush(fp_);
        }
    }
    fp_ = nullptr;
    return ok;
}

Context *current()
{
    return current_context;
}

Context *push_context(const char *name)
{
    auto *c = new Context;
    if (!name) {
        c->out.open_stdout();
    } else {
        c->name = name;
        c->named = true;
        bool program = false;
        for (const char *p : PIPE_PROGRAMS) program = program || std::strcmp(name, p) == 0;
        if (program || name[0] == '|') {
            // After the bar stands a command line as a user types it.
            std::vector<std::string> argv =
                program ? std::vector<std::string>{name} : velk::shell_command(name + 1);
            if (!c->out.open_pipe(argv))
                fail(RIE_SYSTEM, std::string("Error opening pipe to ") + (program ? name : name + 1));
        } else if (velk::open_for_reading_here(name)) {
            // The RIB being read (or an archive) keeps its place; the context writes nowhere.
            fail(RIE_CONSISTENCY, std::string("Error making RIB file \"") + name + "\": it is a file being read");
        } else if (!c->out.open_file(name)) {
            // The context stays, writing nowhere, so that the calls up to RiEnd pair up.
            fail(RIE_NOFILE, std::string("Error making RIB file \"") + name + "\": " + std::strerror(errno));
        }
    }
    c->next = contexts;
    contexts = c;
    current_context = c;
    return c;
}

void end_current()
{
    Context *c = current_context;
    if (!c) return;
    int status = 0;
    bool pipe = c->out.is_pipe();
    bool closed = c->out.close(&status);
    if (!closed && !pipe && c->named) {
        fail(RIE_SYSTEM, "Error writing RIB file \"" + c->name + "\": the old file, if any, is kept");
    } else if (!closed && pipe) {
        const char *command = c->name[0] == '|' ? c->name.c_str() + 1 : c->name.c_str();
        // The shell answers 126 and 127 for a command it could not start.
        if (status == 126 || status == 127) fail(RIE_SYSTEM, std::string("Error opening pipe to ") + command);
        else
            fail(RIE_SYSTEM, std::string("Error writing RIB to pipe ") + command + ": the command ended with status " +
                                 std::to_string(status) + (status == 0 ? " before reading all of it" : ""));
    }
    for (Context **link = &contexts; *link; link = &(*link)->next) {
        if (*link == c) {
            *link = c->next;
            break;
        }
    }
    delete c;
    current_context = nullptr;
}

bool select_context(const char *name)
{
    for (Context *c = contexts; c; c = c->next) {
        if (same_name(c, name)) {
            current_context = c;
            return true;
        }
    }
    return false;
}

} // namespace ribout
