// File-system and machine queries the search paths and the caches need, and
// the one way every tool writes an output file.
#pragma once
#include <cstdint>
#include <string>

namespace velk {

// True when something exists under path (file or directory).
bool file_exists(const char *path);
// True when path names a directory.
bool is_directory(const char *path);
// The size in bytes of the regular file at path; -1 when path is no regular
// file or cannot be examined.
int64_t regular_file_size(const char *path);
// The machine's physical memory in bytes (0 when unknown).
uint64_t physical_memory();
// The most memory this process can hope to get: the physical memory, or the
// address-space limit when that is lower (0 when neither is known).
uint64_t memory_limit();

// True when both paths name one existing file (same device and inode), however
// they are spelt: hard links, "./", symbolic links.
bool same_file(const char *a, const char *b);

// True when this process has the file at path open for reading (by any name
// or descriptor: a RIB file being read, standard input, a texture).
bool open_for_reading_here(const char *path);

// Files read and closed again (RIB archives) that an output must not replace
// until forget_inputs: the frame's inputs.
void remember_input(const char *path);
bool was_input(const char *path);
void forget_inputs();
// Changes with each forget_inputs: a cache remembers its file once per frame.
unsigned inputs_generation();

// An output file written beside its target and renamed over it only when
// complete: until commit() the target stays as it was, and a failure, a
// discard() or the program's exit removes the temporary file. A target that
// exists and is no regular file (a device, a pipe) is written directly.
class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile() { discard(); }
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    // Creates the (empty) temporary file; false, errno set, when it cannot.
    bool open(const std::string &target);
    bool is_open() const { return !path_.empty(); }
    // The name the writer opens and fills.
    const std::string &path() const { return path_; }
    // Puts the finished file in place; false (nothing left behind) when that fails.
    bool commit();
    // Drops what was written; the target is untouched.
    void discard();

private:
    std::string target_, path_;
    bool direct_ = false;
};

// The directory holding the running program (from /proc/self/exe), empty
// when it cannot be told.
std::string executable_dir();

} // namespace velk
