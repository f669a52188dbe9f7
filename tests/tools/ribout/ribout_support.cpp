#include "tests/tools/ribout/ribout_support.h"

#include <cstdint>
#include <cstring>

#include "ri_common/ri.h"
#include "tests/support/run_program.h"

namespace ribtest {

std::string written_whole(const std::function<void()> &body)
{
    velktest::TempDir dir;
    std::string path = dir.path() + "/out.rib";
    RiBegin(path.c_str());
    body();
    RiEnd();
    return dir.read(path);
}

std::string written(const std::function<void()> &body, bool binary)
{
    // A marker request ends the header.
    std::string all = written_whole([&] {
        RiIdentity();
        if (binary) {
            RtInt one = 1;
            RiOption("rib", "binary", &one, RI_NULL);
        }
        body();
    });
    std::string marker = "Identity\n";
    size_t at = all.find(marker);
    std::string rest = at == std::string::npos ? all : all.substr(at + marker.size());
    // RiEnd writes one line end.
    if (!rest.empty() && rest.back() == '\n') rest.pop_back();
    return rest;
}

std::string float_bytes(float v)
{
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    std::string s;
    for (int shift = 24; shift >= 0; shift -= 8) s += static_cast<char>((bits >> shift) & 0xff);
    return s;
}

} // namespace ribtest
