#include "tests/support/run_program.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <ftw.h>
#include <poll.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace velktest {

static std::string env_or(const char *name, const char *fallback) {
    const char *v = std::getenv(name);
    return v ? v : fallback;
}

std::string program(const std::string &name) { return env_or("VELK_BIN", VELK_DEFAULT_BIN) + "/" + name; }
std::string source_path(const std::string &rel) { return env_or("VELK_SOURCE", VELK_DEFAULT_SOURCE) + "/" + rel; }
std::string build_path(const std::string &rel) { return env_or("VELK_BUILD", VELK_DEFAULT_BUILD) + "/" + rel; }

static std::vector<std::string> build_env(const RunOptions &opts) {
    std::map<std::string, std::string> vars;
    if (!opts.clear_env) {
        for (char **e = environ; *e; ++e) {
            const char *eq = std::strchr(*e, '=');
            if (eq) vars[std::string(*e, static_cast<size_t>(eq - *e))] = eq + 1;
        }
    } else if (const char *p = std::getenv("PATH")) {
        vars["PATH"] = p;
    }
    // The renderer binds "defaultsurface" at every world begin: unless a test
    // chose a shader path itself, programs find the tests' own minimal copy,
    // which needs no shader operation beyond moving values.
    if (!vars.count("VELKSHADERS") && !opts.env.count("VELKSHADERS"))
        vars["VELKSHADERS"] = source_path("tests/data/shaders");
    for (const auto &kv : opts.env) {
        if (kv.second.empty()) vars.erase(kv.first);
        else vars[kv.first] = kv.second;
    }
    std::vector<std::string> out;
    for (const auto &kv : vars) out.push_back(kv.first + "=" + kv.second);
    return out;
}

RunResult run(const std::vector<std::string> &argv, const RunOptions &opts) {
    RunResult r;
    int in[2], out[2], err[2];
    if (pipe(in) || pipe(out) || pipe(err)) return r;
    std::vector<std::string> envs = build_env(opts);
    std::vector<char *> cargv, cenv;
    for (const auto &a : argv) cargv.push_back(const_cast<char *>(a.c_str()));
    cargv.push_back(nullptr);
    for (const auto &e : envs) cenv.push_back(const_cast<char *>(e.c_str()));
    cenv.push_back(nullptr);

    pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
        if (!opts.cwd.empty() && chdir(opts.cwd.c_str()) != 0) _exit(127);
        setpgid(0, 0);
        execve(cargv[0], cargv.data(), cenv.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    if (pid < 0) {
        close(in[1]); close(out[0]); close(err[0]);
        return r;
    }
    fcntl(in[1], F_SETFL, O_NONBLOCK);
    signal(SIGPIPE, SIG_IGN);
    size_t written = 0;
    int infd = in[1];
    if (opts.input.empty()) { close(infd); infd = -1; }
    bool out_open = true, err_open = true;
    time_t deadline = time(nullptr) + opts.timeout_seconds;
    char buf[65536];
    while (out_open || err_open) {
        struct pollfd fds[3];
        int n = 0;
        int io = -1, ie = -1, ii = -1;
        if (out_open) { fds[n] = {out[0], POLLIN, 0}; io = n++; }
        if (err_open) { fds[n] = {err[0], POLLIN, 0}; ie = n++; }
        if (infd >= 0) { fds[n] = {infd, POLLOUT, 0}; ii = n++; }
        int left = static_cast<int>(deadline - time(nullptr));
        if (left <= 0) {
            r.timed_out = true;
            kill(-pid, SIGKILL);
            kill(pid, SIGKILL);
            break;
        }
        int pr = poll(fds, n, 200);
        if (pr < 0 && errno != EINTR) break;
        if (pr <= 0) continue;
        if (io >= 0 && (fds[io].revents & (POLLIN | POLLHUP | POLLERR))) {
            ssize_t k = read(out[0], buf, sizeof buf);
            if (k > 0) r.out.append(buf, static_cast<size_t>(k)); else out_open = false;
        }
        if (ie >= 0 && (fds[ie].revents & (POLLIN | POLLHUP | POLLERR))) {
            ssize_t k = read(err[0], buf, sizeof buf);
            if (k > 0) r.err.append(buf, static_cast<size_t>(k)); else err_open = false;
        }
        if (ii >= 0 && (fds[ii].revents & (POLLOUT | POLLERR | POLLHUP))) {
            ssize_t k = write(infd, opts.input.data() + written, opts.input.size() - written);
            if (k > 0) written += static_cast<size_t>(k);
            if (k < 0 && errno != EAGAIN) written = opts.input.size();
            if (written >= opts.input.size()) { close(infd); infd = -1; }
        }
    }
    if (infd >= 0) close(infd);
    close(out[0]);
    close(err[0]);
    int st = 0;
    waitpid(pid, &st, 0);
    if (WIFEXITED(st)) r.status = WEXITSTATUS(st);
    else if (WIFSIGNALED(st)) { r.signal = WTERMSIG(st); r.status = -1; }
    return r;
}

TempDir::TempDir() {
    std::string base = env_or("TMPDIR", "/tmp") + "/velktest.XXXXXX";
    std::vector<char> tmpl(base.begin(), base.end());
    tmpl.push_back('\0');
    if (mkdtemp(tmpl.data())) path_ = tmpl.data();
}

static int remove_entry(const char *p, const struct stat *, int, struct FTW *) {
    return ::remove(p);
}

TempDir::~TempDir() {
    if (!path_.empty()) nftw(path_.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
}

std::string TempDir::write(const std::string &name, const std::string &bytes) const {
    std::string p = name.size() && name[0] == '/' ? name : path_ + "/" + name;
    std::ofstream f(p, std::ios::binary);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return p;
}

std::string TempDir::read(const std::string &name) const {
    std::string p = name.size() && name[0] == '/' ? name : path_ + "/" + name;
    std::ifstream f(p, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

bool TempDir::exists(const std::string &name) const {
    std::string p = name.size() && name[0] == '/' ? name : path_ + "/" + name;
    return access(p.c_str(), F_OK) == 0;
}

RunResult raylume_rib(const TempDir &dir, const std::string &rib, std::vector<std::string> args) {
    dir.write("t.rib", rib);
    args.insert(args.begin(), program("raylume"));
    args.push_back("t.rib");
    RunOptions opts;
    opts.cwd = dir.path();
    opts.timeout_seconds = 60;
    opts.env["HOME"] = dir.path();
    opts.env["VELKHOME"] = "";
    return run(args, opts);
}

RunResult murn_compile(const TempDir &dir, const std::string &name, const std::string &source,
                       const std::vector<std::string> &options) {
    dir.write(name + ".sl", source);
    std::vector<std::string> argv{program("murn")};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.push_back(name + ".sl");
    RunOptions opts;
    opts.cwd = dir.path();
    opts.timeout_seconds = 60;
    return run(argv, opts);
}

} // namespace velktest
