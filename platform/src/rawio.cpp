#include "platform/rawio.h"

#include <cerrno>
#include <csignal>
#include <ctime>
#include <unistd.h>

namespace velk {

// SIGPIPE is blocked during the write and a pending one is taken back afterwards.
ssize_t write_no_sigpipe(int fd, const char *data, size_t size)
{
    sigset_t pipe_set, old_set;
    sigemptyset(&pipe_set);
    sigaddset(&pipe_set, SIGPIPE);
    sigset_t pending;
    sigpending(&pending);
    bool was_pending = sigismember(&pending, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe_set, &old_set);
    ssize_t n;
    do {
        n = ::write(fd, data, size);
    } while (n < 0 && errno == EINTR);
    int saved = errno;
    // The signal comes also with a partial write, so look whatever the result.
    sigpending(&pending);
    if (!was_pending && sigismember(&pending, SIGPIPE)) {
        struct timespec zero = {0, 0};
        while (sigtimedwait(&pipe_set, nullptr, &zero) < 0 && errno == EINTR) {
        }
    }
    pthread_sigmask(SIG_SETMASK, &old_set, nullptr);
    errno = saved;
    return n;
}

size_t read_fully(int fd, void *buffer, size_t size)
{
    char *p = static_cast<char *>(buffer);
    size_t got = 0;
    while (got < size) {
        ssize_t n = ::read(fd, p + got, size - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += size_t(n);
    }
    return got;
}

bool write_fully(int fd, const void *data, size_t size)
{
    const char *p = static_cast<const char *>(data);
    while (size > 0) {
        ssize_t n = write_no_sigpipe(fd, p, size);
        if (n <= 0) return false;
        p += n;
        size -= size_t(n);
    }
    return true;
}

} // namespace velk
