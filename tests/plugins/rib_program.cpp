// A program for the RunProgram tests: reads one request line "detail args"
// from its input, notes the line in the file named by its first argument (if
// any), and answers with a sphere whose radius is the first word of args.
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char **argv)
{
    char line[4096];
    if (!std::fgets(line, sizeof line, stdin)) return 1;
    if (argc > 1) {
        FILE *note = std::fopen(argv[1], "w");
        if (note) {
            std::fputs(line, note);
            std::fclose(note);
        }
    }
    char *rest = std::strchr(line, ' ');
    float r = rest ? (float)std::atof(rest + 1) : 1;
    std::printf("AttributeBegin\nSphere %g %g %g 360\nAttributeEnd\n", r, -r, r);
    return 0;
}
