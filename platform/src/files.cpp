#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <cstdio>
#include <mutex>
#include <set>
#include <utility>

namespace velk {

bool file_exists(const char *path)
{
    return path && access(path, F_OK) == 0;
}

bool is_directory(const char *path)
{
    struct stat st;
    return path && stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

int64_t regular_file_size(const char *path)
{
    struct stat st;
    if (!path || stat(path, &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return int64_t(st.st_size);
}

uint64_t physical_memory()
{
    long pages = sysconf(_SC_PHYS_PAGES), size = sysconf(_SC_PAGESIZE);
    return pages > 0 && size > 0 ? uint64_t(pages) * uint64_t(size) : 0;
}

uint64_t memory_limit()
{
    uint64_t limit = physical_memory();
    struct rlimit rl;
    if (getrlimit(RLIMIT_AS, &rl) == 0 && rl.rlim_cur != RLIM_INFINITY && (limit == 0 || rl.rlim_cur < limit))
        limit = uint64_t(rl.rlim_cur);
    return limit;
}

bool same_file(const char *a, const char *b)
{
    struct stat sa, sb;
    return a && b && stat(a, &sa) == 0 && stat(b, &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool open_for_reading_here(const char *path)
{
    struct stat target;
    if (!path || stat(path, &target) != 0) return false;
    DIR *dir = opendir("/proc/self/fd");
    if (!dir) return false;
    const int own = dirfd(dir);
    bool found = false;
    while (dirent *e = readdir(dir)) {
        char *end = nullptr;
        const long fd = strtol(e->d_name, &end, 10);
        if (end == e->d_name || *end || fd == own) continue;
        struct stat st;
        const int flags = fcntl(int(fd), F_GETFL);
        if (flags != -1 && (flags & O_ACCMODE) != O_WRONLY && fstat(int(fd), &st) == 0 &&
            st.st_dev == target.st_dev && st.st_ino == target.st_ino) {
            found = true;
            break;
        }
    }
    closedir(dir);
    return found;
}

namespace {

std::mutex inputs_lock;
std::set<std::pair<dev_t, ino_t>> inputs;
std::atomic<unsigned> generation{1};

} // namespace

void remember_input(const char *path)
{
    struct stat st;
    if (!path || stat(path, &st) != 0) return;
    std::lock_guard<std::mutex> hold(inputs_lock);
    inputs.insert({st.st_dev, st.st_ino});
}

bool was_input(const char *path)
{
    struct stat st;
    if (!path || stat(path, &st) != 0) return false;
    std::lock_guard<std::mutex> hold(inputs_lock);
    return inputs.count({st.st_dev, st.st_ino}) != 0;
}

void forget_inputs()
{
    std::lock_guard<std::mutex> hold(inputs_lock);
    inputs.clear();
    ++generation;
}

unsigned inputs_generation()
{
    return generation.load();
}

namespace {

// Temporary files not yet put in place; an exit (a severe error ends the
// program) or an ending signal removes them. A fixed table of names the
// signal handler can read without taking the lock or allocating.
const int MAX_PENDING = 256;
std::mutex pending_lock;
std::atomic<char *> pending[MAX_PENDING];

// A signal handler may not free: it leaves the names to the ending process.
void remove_pending(bool release)
{
    for (std::atomic<char *> &slot : pending)
        if (char *p = slot.exchange(nullptr)) {
            unlink(p);
            if (release) free(p);
        }
}

void remove_pending_at_exit()
{
    remove_pending(true);
}

struct sigaction previous[NSIG];

void on_ending_signal(int sig)
{
    remove_pending(false);
    const struct sigaction &old = previous[sig];
    if (!(old.sa_flags & SA_SIGINFO) && old.sa_handler != SIG_DFL && old.sa_handler != SIG_IGN) {
        old.sa_handler(sig);
        return;
    }
    signal(sig, SIG_DFL);
    raise(sig);
}

void watch_ending()
{
    atexit(remove_pending_at_exit);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        sigaction(sig, nullptr, &previous[sig]);
        // A signal the program ignores stays ignored.
        if (previous[sig].sa_handler != SIG_IGN) signal(sig, on_ending_signal);
    }
    // Past the file size limit a write fails and is reported, instead of the
    // signal ending the program with the temporary file left behind.
    struct sigaction fsz;
    if (sigaction(SIGXFSZ, nullptr, &fsz) == 0 && fsz.sa_handler == SIG_DFL) signal(SIGXFSZ, SIG_IGN);
}

void note_pending(const std::string &path, bool live)
{
    std::lock_guard<std::mutex> hold(pending_lock);
    static bool watching = false;
    if (!watching) {
        watching = true;
        watch_ending();
    }
    for (std::atomic<char *> &slot : pending) {
        char *p = slot.load();
        if (live ? p == nullptr : (p && path == p)) {
            slot.store(live ? strdup(path.c_str()) : nullptr);
            if (!live) free(p);
            return;
        }
    }
}

} // namespace

bool OutputFile::open(const std::string &target)
{
    discard();
    if (target.empty()) {
        errno = ENOENT;
        return false;
    }
    target_ = target;
    // A symbolic link keeps pointing where it did: the file it names is replaced.
    char resolved[PATH_MAX];
    struct stat st;
    if (lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode) && realpath(target.c_str(), resolved))
        target_ = resolved;
    const bool exists = stat(target_.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
        direct_ = true;
        path_ = target_;
        return true;
    }
    // The temporary name is the target's with a suffix, or a short one
    // beside it when that would be too long a name.
    const size_t slash = target_.rfind('/');
    const size_t base = slash == std::string::npos ? 0 : slash + 1;
    std::string pattern = target_.size() - base + 7 <= NAME_MAX ? target_ + ".XXXXXX"
                                                                : target_.substr(0, base) + ".out.XXXXXX";
    int fd = mkstemp(&pattern[0]);
    if (fd < 0) return false;
    // mkstemp makes the file private: a new file gets the usual mode, a
    // replaced one keeps its own.
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, exists ? (st.st_mode & 07777) : (0666 & ~mask));
    close(fd);
    path_ = pattern;
    note_pending(path_, true);
    return true;
}

bool OutputFile::commit()
{
    if (path_.empty()) return false;
    bool ok = direct_ || std::rename(path_.c_str(), target_.c_str()) == 0;
    if (ok && !direct_) {
        note_pending(path_, false);
        path_.clear();
    }
    discard();
    return ok;
}

void OutputFile::discard()
{
    if (!path_.empty() && !direct_) {
        unlink(path_.c_str());
        note_pending(path_, false);
    }
    path_.clear();
    target_.clear();
    direct_ = false;
}

std::string executable_dir()
{
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "";
    std::string path(buf, static_cast<size_t>(n));
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "" : path.substr(0, slash);
}

} // namespace velk
