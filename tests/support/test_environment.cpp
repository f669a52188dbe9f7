// Every test program starts from the same environment, whatever the host's:
// the variables our programs read are cleared (a test that wants one sets it
// itself), HOME is an empty folder of the program's own, and the locale, time
// zone and GL driver choice are fixed. Children the tests start inherit it.
#include <cstdlib>
#include <string>

#include <ftw.h>
#include <unistd.h>

namespace {

// Read by our programs or by the libraries they load; none may come from the host.
const char *const cleared[] = {
    "VELKHOME", "VELKSHADERS", "SHADERS", "RMANTREE", "RMANFB", "RAYLUME_CSG_ACCEL",
    "HOSTNAME", "HOST", "host", "DISPLAY", "LANGUAGE", "LC_ALL", "LANG",
    "GALLIUM_DRIVER", "MESA_LOADER_DRIVER_OVERRIDE", "LIBGL_ALWAYS_INDIRECT",
};

std::string home;
pid_t owner;   // a forked child that exits must not take the folder

int remove_entry(const char *path, const struct stat *, int, struct FTW *)
{
    return ::remove(path);
}

void remove_home()
{
    if (!home.empty() && getpid() == owner) nftw(home.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
}

struct TestEnvironment {
    TestEnvironment()
    {
        for (const char *name : cleared) unsetenv(name);
        setenv("LC_ALL", "C", 1);
        setenv("TZ", "UTC0", 1);
        // The same software rasteriser on every host, and no shader cache
        // shared between test programs running side by side.
        setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
        setenv("MESA_SHADER_CACHE_DISABLE", "true", 1);
        const char *tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/velk-home-XXXXXX";
        if (mkdtemp(&pattern[0])) {
            home = pattern;
            owner = getpid();
            setenv("HOME", home.c_str(), 1);
            std::atexit(remove_home);
        }
    }
};

TestEnvironment environment;

} // namespace
