// Records the RI errors reported while it lives (installed as the error handler).
#pragma once
#include <string>
#include <vector>

#include "ri_common/ri.h"
#include "ri_common/rierror.h"

namespace velktest {

struct ErrorReport {
    int code, severity;
    std::string message;
};

class ErrorCapture {
public:
    ErrorCapture() { current() = this; old_ = ri_current_error_handler(); RiErrorHandler(&record); }
    ~ErrorCapture() { RiErrorHandler(old_); current() = nullptr; }
    std::vector<ErrorReport> reports;
    void clear() { reports.clear(); }
    size_t count() const { return reports.size(); }
    bool has(int code) const {
        for (auto &r : reports) if (r.code == code) return true;
        return false;
    }
    bool has_message(const std::string &text) const {
        for (auto &r : reports) if (r.message.find(text) != std::string::npos) return true;
        return false;
    }
private:
    static ErrorCapture *&current() { static ErrorCapture *c = nullptr; return c; }
    static void record(RtInt code, RtInt severity, const char *msg) {
        if (current()) current()->reports.push_back({code, severity, msg ? msg : ""});
    }
    RtErrorHandler old_;
};

} // namespace velktest
