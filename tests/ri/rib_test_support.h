// Helpers of the RIB reader tests: a reader over given bytes and a handler
// that records RI errors instead of printing them.
#pragma once
#include <string>
#include <vector>

#include "ri/ribreader.h"
#include "ri_common/rierror.h"
#include "tests/support/run_program.h"

struct RecordedError {
    int code, severity;
    std::string message;
};

// Installs a recording error handler for its lifetime.
class ErrorRecorder {
public:
    ErrorRecorder() : old_(ri_current_error_handler()) {
        RiErrorHandler(record);
        log().clear();
    }
    ~ErrorRecorder() { RiErrorHandler(old_); }
    const std::vector<RecordedError> &errors() const { return log(); }
    // The messages, one per line.
    std::string messages() const {
        std::string s;
        for (const RecordedError &e : log()) s += e.message + "\n";
        return s;
    }
private:
    static std::vector<RecordedError> &log() {
        static std::vector<RecordedError> v;
        return v;
    }
    static RtVoid record(RtInt code, RtInt severity, const char *message) {
        log().push_back({code, severity, message ? message : "(null)"});
    }
    RtErrorHandler old_;
};

// A reader over bytes written to a temporary file.
class ByteSource {
public:
    explicit ByteSource(const std::string &bytes, const char *name = "in.rib") {
        path_ = dir_.write(name, bytes);
        reader.open(path_.c_str());
    }
    RibReader reader;
    const std::string &path() const { return path_; }
private:
    velktest::TempDir dir_;
    std::string path_;
};
