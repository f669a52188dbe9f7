#include "compiler/preprocess.h"

#include <cstdlib>

#include "platform/files.h"

namespace murn {

std::string find_preprocessor()
{
    static const char *const places[] = {"/lib/cpp", "/usr/ccs/lib/cpp", "/usr/bin/cpp"};
    for (const char *p : places)
        if (velk::file_exists(p))
            return p;
    const char *home = std::getenv("VELKHOME");
    std::string own = std::string(home ? home : "") + "/bin/cpp";
    if (velk::file_exists(own.c_str()))
        return own;
    return "";
}

std::vector<std::string> preprocessor_argv(const std::string &cpp,
                                           const std::vector<std::string> &options,
                                           const std::string &input)
{
    std::vector<std::string> argv = {cpp, "-undef", "-I.", "-DPI=3.14159265", "-DVELK"};
    for (const std::string &option : options)
        if (option != "-x")
            argv.push_back(option);
    argv.push_back(input);
    return argv;
}

} // namespace murn
