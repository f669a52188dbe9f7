// Writing RIB through the writer into a file and reading the bytes back.
#pragma once
#include <functional>
#include <string>

namespace ribtest {

// The bytes a writer context produced for body (which runs between RiBegin
// and RiEnd), with the header and the standard declarations cut off; binary
// switches the context to binary floats first.
std::string written(const std::function<void()> &body, bool binary = false);

// The whole output of a context, header included.
std::string written_whole(const std::function<void()> &body);

// The bytes of a float, most significant first.
std::string float_bytes(float v);

} // namespace ribtest
