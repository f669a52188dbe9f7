// Unbuffered reads and writes of whole records on file descriptors (pipes
// included), past short transfers and interrupted calls.
#pragma once
#include <cstddef>
#include <sys/types.h>

namespace velk {

// Reads until size bytes came or the input ended or failed: the bytes read.
size_t read_fully(int fd, void *buffer, size_t size);
// Writes all of size bytes; false when the descriptor failed or the reader of
// a pipe went away (reported as an error, never as a signal).
bool write_fully(int fd, const void *data, size_t size);
// One write with SIGPIPE held back: the write's own result (errno EPIPE when
// the reader is gone).
ssize_t write_no_sigpipe(int fd, const char *data, size_t size);

} // namespace velk
