// Captures what the code under test writes on standard error (descriptor 2).
#pragma once
#include <cstdio>
#include <string>
#include <unistd.h>

class StderrCapture {
public:
    StderrCapture() {
        std::fflush(stderr);
        file_ = std::tmpfile();
        saved_ = dup(2);
        dup2(fileno(file_), 2);
    }
    ~StderrCapture() { finish(); }
    // Restores standard error and returns everything written since construction.
    std::string finish() {
        if (saved_ < 0) return text_;
        std::fflush(stderr);
        dup2(saved_, 2);
        close(saved_);
        saved_ = -1;
        std::rewind(file_);
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, file_)) > 0) text_.append(buf, n);
        std::fclose(file_);
        return text_;
    }
private:
    std::FILE *file_ = nullptr;
    int saved_ = -1;
    std::string text_;
};
