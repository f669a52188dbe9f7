#include "platform/process.h"

#include "platform/rawio.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace velk {

namespace {

// The exit status as ChildProcess::wait answers it.
int status_code(int status)
{
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

void close_fd(int &fd)
{
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

// Process groups of children that must not outlive us: killed when we exit
// or are ended by a signal that can be caught. A fixed table, so that the
// signal handler touches nothing that allocates.
const int MAX_GROUPS = 64;
volatile sig_atomic_t live_groups[MAX_GROUPS];

void kill_live_groups()
{
    for (int i = 0; i < MAX_GROUPS; i++)
        if (live_groups[i] > 0) ::kill(-live_groups[i], SIGKILL);
}

// The handlers found before ours, called after it (the output files clean up there too).
struct sigaction previous[NSIG];

void on_ending_signal(int sig)
{
    kill_live_groups();
    const struct sigaction &old = previous[sig];
    if (!(old.sa_flags & SA_SIGINFO) && old.sa_handler != SIG_DFL && old.sa_handler != SIG_IGN) {
        old.sa_handler(sig);
        return;
    }
    std::signal(sig, SIG_DFL);
    ::raise(sig);
}

void watch_ending(void)
{
    static bool installed = false;
    if (installed) return;
    installed = true;
    std::atexit(kill_live_groups);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        sigaction(sig, nullptr, &previous[sig]);
        // A signal the program ignores stays ignored.
        if (previous[sig].sa_handler != SIG_IGN) std::signal(sig, on_ending_signal);
    }
}

void note_group(int pgid, bool live)
{
    for (int i = 0; i < MAX_GROUPS; i++) {
        if (live ? live_groups[i] == 0 : live_groups[i] == pgid) {
            live_groups[i] = live ? pgid : 0;
            return;
        }
    }
}

// Starts argv in a process group of its own that dies with us: posix_spawn
// cannot ask for the parent-death signal, so fork and exec. The exec error
// comes back through a close-on-exec pipe. The pid, or -1 with errno's code
// in err.
pid_t spawn_own_group(char *const args[], int in_fd, int out_fd, int &err)
{
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) {
        err = errno;
        return -1;
    }
    pid_t parent = ::getpid();
    pid_t pid = ::fork();
    if (pid < 0) {
        err = errno;
        ::close(report[0]);
        ::close(report[1]);
        return -1;
    }
    if (pid == 0) {
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(127);
        for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE}) std::signal(sig, SIG_DFL);
        if (in_fd >= 0) ::dup2(in_fd, 0);
        if (out_fd >= 0) ::dup2(out_fd, 1);
        ::execvp(args[0], args);
        int e = errno;
        if (::write(report[1], &e, sizeof e) < 0) {}
        ::_exit(127);
    }
    ::close(report[1]);
    int e = 0;
    ssize_t n;
    do {
        n = ::read(report[0], &e, sizeof e);
    } while (n < 0 && errno == EINTR);
    ::close(report[0]);
    if (n == sizeof e) {
        int status;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
        err = e;
        return -1;
    }
    // Set here too, so that a kill right after start reaches the group.
    ::setpgid(pid, pid);
    return pid;
}

} // namespace

ChildProcess::~ChildProcess()
{
    if (pid_ > 0) wait();
    close_pipes();
}

void ChildProcess::close_pipes()
{
    close_fd(in_fd_);
    close_fd(out_fd_);
}

bool ChildProcess::start(const std::vector<std::string> &argv, int pipes)
{
    error_.clear();
    if (pid_ > 0) {
        error_ = "a child is already running";
        return false;
    }
    if (argv.empty() || argv[0].empty()) {
        error_ = "no program to run";
        return false;
    }
    int in_pipe[2] = {-1, -1}, out_pipe[2] = {-1, -1};
    if (((pipes & PIPE_INPUT) && pipe2(in_pipe, O_CLOEXEC) != 0) ||
        ((pipes & PIPE_OUTPUT) && pipe2(out_pipe, O_CLOEXEC) != 0)) {
        error_ = std::strerror(errno);
        for (int fd : {in_pipe[0], in_pipe[1], out_pipe[0], out_pipe[1]})
            if (fd >= 0) ::close(fd);
        return false;
    }

    std::vector<char *> args;
    for (const std::string &a : argv) args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);

    if (pipes & OWN_GROUP) {
        watch_ending();
        int err = 0;
        pid_t pid = spawn_own_group(args.data(), in_pipe[0], out_pipe[1], err);
        if (in_pipe[0] >= 0) ::close(in_pipe[0]);
        if (out_pipe[1] >= 0) ::close(out_pipe[1]);
        if (pid < 0) {
            error_ = std::strerror(err);
            if (in_pipe[1] >= 0) ::close(in_pipe[1]);
            if (out_pipe[0] >= 0) ::close(out_pipe[0]);
            return false;
        }
        note_group(pid, true);
        pid_ = pid;
        own_group_ = true;
        in_fd_ = in_pipe[1];
        out_fd_ = out_pipe[0];
        return true;
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // dup2 onto the standard descriptors clears their close-on-exec flag.
    if (pipes & PIPE_INPUT) posix_spawn_file_actions_adddup2(&actions, in_pipe[0], 0);
    if (pipes & PIPE_OUTPUT) posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);

    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);

    pid_t pid = -1;
    int rc = posix_spawnp(&pid, args[0], &actions, &attr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);

    if (in_pipe[0] >= 0) ::close(in_pipe[0]);
    if (out_pipe[1] >= 0) ::close(out_pipe[1]);
    if (rc != 0) {
        error_ = std::strerror(rc);
        if (in_pipe[1] >= 0) ::close(in_pipe[1]);
        if (out_pipe[0] >= 0) ::close(out_pipe[0]);
        return false;
    }
    pid_ = pid;
    own_group_ = false;
    in_fd_ = in_pipe[1];
    out_fd_ = out_pipe[0];
    return true;
}

bool ChildProcess::write_input(const void *data, size_t size)
{
    const char *p = static_cast<const char *>(data);
    while (size > 0) {
        if (in_fd_ < 0) return false;
        ssize_t n = write_no_sigpipe(in_fd_, p, size);
        if (n <= 0) return false;
        p += n;
        size -= size_t(n);
    }
    return true;
}

void ChildProcess::close_input()
{
    close_fd(in_fd_);
}

int ChildProcess::release_output()
{
    int fd = out_fd_;
    out_fd_ = -1;
    return fd;
}

long ChildProcess::read_output(void *buffer, size_t size)
{
    if (out_fd_ < 0) return -1;
    ssize_t n;
    do {
        n = ::read(out_fd_, buffer, size);
    } while (n < 0 && errno == EINTR);
    return long(n);
}

long ChildProcess::read_output_within(void *buffer, size_t size, int timeout_ms)
{
    if (out_fd_ < 0) return -1;
    struct pollfd p = {out_fd_, POLLIN, 0};
    int r;
    do {
        r = ::poll(&p, 1, timeout_ms);
    } while (r < 0 && errno == EINTR);
    if (r == 0) return -2;
    if (r < 0) return -1;
    return read_output(buffer, size);
}

std::string ChildProcess::read_all_output()
{
    std::string text;
    char buffer[4096];
    long n;
    while ((n = read_output(buffer, sizeof buffer)) > 0) text.append(buffer, size_t(n));
    return text;
}

void ChildProcess::forget()
{
    if (own_group_) note_group(pid_, false);
    pid_ = -1;
}

int ChildProcess::wait()
{
    close_pipes();
    if (pid_ <= 0) return -1;
    int status = 0;
    pid_t r;
    do {
        r = ::waitpid(pid_, &status, 0);
    } while (r < 0 && errno == EINTR);
    forget();
    if (r < 0) return -1;
    return status_code(status);
}

int ChildProcess::wait_within(int timeout_ms)
{
    close_pipes();
    if (pid_ <= 0) return -1;
    const int step_ms = 10;
    for (int waited = 0;; waited += step_ms) {
        if (own_group_) {
            // Ended, but not yet reaped: what it left running in its group
            // goes too, while the group's number cannot be reused.
            siginfo_t info {};
            if (::waitid(P_PID, id_t(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid_)
                ::kill(-pid_, SIGKILL);
        }
        int status = 0;
        pid_t r = ::waitpid(pid_, &status, WNOHANG);
        if (r == pid_) {
            forget();
            return status_code(status);
        }
        if (r < 0 && errno != EINTR) {
            forget();
            return -1;
        }
        if (waited >= timeout_ms) break;
        struct timespec pause = {0, step_ms * 1000000L};
        nanosleep(&pause, nullptr);
    }
    ::kill(own_group_ ? -pid_ : pid_, SIGKILL);
    return wait();
}

std::vector<std::string> split_command_line(const std::string &line)
{
    std::vector<std::string> words;
    std::string word;
    bool in_word = false;
    size_t i = 0, n = line.size();
    while (i < n) {
        char c = line[i];
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            if (in_word) words.push_back(word);
            word.clear();
            in_word = false;
            ++i;
        } else if (c == '\'') {
            in_word = true;
            size_t end = line.find('\'', i + 1);
            if (end == std::string::npos) end = n;
            word.append(line, i + 1, end - i - 1);
            i = end < n ? end + 1 : n;
        } else if (c == '"') {
            in_word = true;
            ++i;
            while (i < n && line[i] != '"') {
                if (line[i] == '\\' && i + 1 < n && (line[i + 1] == '"' || line[i + 1] == '\\')) ++i;
                word += line[i++];
            }
            if (i < n) ++i;
        } else if (c == '\\') {
            in_word = true;
            if (i + 1 < n) word += line[i + 1];
            i += 2;
        } else {
            in_word = true;
            word += c;
            ++i;
        }
    }
    if (in_word) words.push_back(word);
    return words;
}

std::string program_file(const std::string &name)
{
    if (name.empty() || name.find('/') != std::string::npos) return name;
    const char *path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    for (size_t start = 0; start <= dirs.size();) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        std::string dir = dirs.substr(start, end - start);
        std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
        start = end + 1;
    }
    return std::string();
}

std::vector<std::string> shell_command(const std::string &line)
{
    return {"/bin/sh", "-c", line};
}

int run_command_line(const std::string &line)
{
    if (line.find_first_not_of(" \t\r\n") == std::string::npos) return -1;
    ChildProcess child;
    if (!child.start(shell_command(line), ChildProcess::NO_PIPES)) return -1;
    return child.wait();
}

double user_cpu_seconds()
{
    struct rusage use {};
    if (getrusage(RUSAGE_SELF, &use) != 0) return 0;
    return double(use.ru_utime.tv_sec) + double(use.ru_utime.tv_usec) * 1e-6;
}

} // namespace velk
