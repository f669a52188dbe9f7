#include "tests/tools/peek_support.h"

namespace peektest {

std::string compile(const velktest::TempDir &dir, const std::string &name, const std::string &source,
                    const std::string &option)
{
    std::vector<std::string> options;
    if (!option.empty()) options.push_back(option);
    velktest::RunResult r = velktest::murn_compile(dir, name, source, options);
    return r.status == 0 && dir.exists(name + ".murn") ? "" : "murn failed: " + r.err;
}

velktest::RunResult peek(const velktest::TempDir &dir, const std::vector<std::string> &args,
                         const std::string &shader_path)
{
    std::vector<std::string> argv = {velktest::program("murnpeek")};
    argv.insert(argv.end(), args.begin(), args.end());
    velktest::RunOptions opts;
    opts.cwd = dir.path();
    opts.timeout_seconds = 60;
    opts.env["VELKSHADERS"] = shader_path;
    opts.env["SHADERS"] = "";
    return velktest::run(argv, opts);
}

} // namespace peektest
