// Child processes started from an argument vector, with optional pipes to
// their standard input and output; command lines typed by users run through
// the shell.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

namespace velk {

class ChildProcess {
public:
    // Which of the child's standard streams are connected to us; the others
    // are inherited.
    enum Pipes { NO_PIPES = 0, PIPE_INPUT = 1, PIPE_OUTPUT = 2, PIPE_BOTH = 3 };
    // Added to the pipes: the child leads a process group of its own, so
    // that stopping it stops what it started too; the group is killed when
    // we exit or a signal ends us, and the child dies with us.
    enum { OWN_GROUP = 4 };

    ChildProcess() = default;
    // Closes our pipe ends and waits for a child still running.
    ~ChildProcess();
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    // Starts argv[0] (looked up on PATH when it holds no '/') with argv.
    // False when it cannot be started, with the reason in error().
    bool start(const std::vector<std::string> &argv, int pipes);
    bool running() const { return pid_ > 0; }
    const std::string &error() const { return error_; }

    // Writes all of data to the child's input; false when the child closed it
    // (never raises SIGPIPE) or there is no input pipe.
    bool write_input(const void *data, size_t size);
    bool write_input(const std::string &text) { return write_input(text.data(), text.size()); }
    // Closes the child's input, so that it sees end of file.
    void close_input();

    // Hands the descriptor of the child's output over to the caller (who then
    // closes it, e.g. through a stream); -1 without an output pipe.
    int release_output();
    // Reads up to size bytes of the child's output: the count, 0 at end of
    // file, -1 on error.
    long read_output(void *buffer, size_t size);
    // As read_output, but -2 when nothing came within timeout_ms.
    long read_output_within(void *buffer, size_t size, int timeout_ms);
    // Reads the child's output up to end of file.
    std::string read_all_output();

    // Closes our pipe ends and waits for the child: its exit status (0..255),
    // 128 + the signal number when a signal ended it, -1 when none was running.
    int wait();
    // As wait, but a child still running after timeout_ms is killed (with
    // its group when it has one).
    int wait_within(int timeout_ms);

private:
    void close_pipes();
    // The child has been waited for.
    void forget();
    int pid_ = -1;
    bool own_group_ = false;
    int in_fd_ = -1;    // our end of the child's standard input
    int out_fd_ = -1;   // our end of the child's standard output
    std::string error_;
};

// Splits a command line into words: blanks separate words; single quotes keep
// everything up to the next single quote; double quotes group and honour a
// backslash before '"' or '\'; outside quotes a backslash keeps the next
// character. No variables, globbing or redirection.
std::vector<std::string> split_command_line(const std::string &line);

// The file start() would run for name: name itself when it holds a '/', else
// the first executable of that name on PATH; empty when there is none.
std::string program_file(const std::string &name);

// The argument vector that runs a command line typed by a user through the
// shell: /bin/sh -c line.
std::vector<std::string> shell_command(const std::string &line);

// Runs a command line through the shell (inheriting our streams) and waits:
// the status as ChildProcess::wait, -1 when nothing could be started.
int run_command_line(const std::string &line);

// The user CPU time this process has used, in seconds.
double user_cpu_seconds();

} // namespace velk
