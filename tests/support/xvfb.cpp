#include "tests/support/xvfb.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace velktest {

namespace {

double now()
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + t.tv_nsec * 1e-9;
}

} // namespace

XvfbServer::XvfbServer(int timeout_seconds)
{
    int fds[2];
    if (pipe(fds) != 0) {
        error_ = "pipe failed";
        return;
    }
    pid_t pid = fork();
    if (pid == 0) {
        // The server writes its display number on descriptor 3 when ready.
        close(fds[0]);
        if (fds[1] != 3) {
            dup2(fds[1], 3);
            close(fds[1]);
        }
        int null_fd = open("/dev/null", O_RDWR);
        if (null_fd >= 0) {
            dup2(null_fd, 0);
            dup2(null_fd, 1);
            dup2(null_fd, 2);
        }
        setpgid(0, 0);
        // The server goes with the test program, even when that is killed.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() == 1) _exit(127);
        execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", "1024x768x24", "-nolisten", "tcp",
               "-noreset", static_cast<char *>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        error_ = "fork failed";
        return;
    }
    pid_ = pid;
    std::string number;
    double deadline = now() + timeout_seconds;
    for (;;) {
        double left = deadline - now();
        if (left <= 0) {
            error_ = "Xvfb did not become ready";
            break;
        }
        struct pollfd p = {fds[0], POLLIN, 0};
        int r = poll(&p, 1, int(left * 1000) + 1);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) continue;
        char c;
        ssize_t n = read(fds[0], &c, 1);
        if (n <= 0) {
            error_ = "Xvfb ended before it was ready";
            break;
        }
        if (c == '\n') {
            if (!number.empty()) display_ = ":" + number;
            break;
        }
        number += c;
    }
    close(fds[0]);
}

XvfbServer::~XvfbServer()
{
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    // Give it five seconds to go, then make sure.
    for (int i = 0; i < 500; ++i) {
        int status;
        pid_t r = waitpid(pid_, &status, WNOHANG);
        if (r == pid_ || (r < 0 && errno != EINTR)) return;
        usleep(10000);
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
}

} // namespace velktest
