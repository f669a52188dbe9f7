// A private virtual X server for tests that open windows: started on a free
// display number, ready to accept connections when the constructor returns,
// killed when the object goes.
#pragma once
#include <string>

namespace velktest {

class XvfbServer {
public:
    // Starts "Xvfb -screen 0 1024x768x24" on a display number it picks itself;
    // waits up to timeout_seconds for it to be ready.
    explicit XvfbServer(int timeout_seconds = 30);
    ~XvfbServer();
    XvfbServer(const XvfbServer &) = delete;
    XvfbServer &operator=(const XvfbServer &) = delete;

    // True when the server runs and accepts connections.
    bool ok() const { return !display_.empty(); }
    // The display name (":N"), empty when the server did not start.
    const std::string &display() const { return display_; }
    // Why it did not start.
    const std::string &error() const { return error_; }

private:
    int pid_ = -1;
    std::string display_;
    std::string error_;
};

} // namespace velktest
