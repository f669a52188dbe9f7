#include "ri/ribfile.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/files.h"
#include "ri/front_end.h"
#include "ri/paramlist.h"
#include "ri/reader_state.h"
#include "ri/requests.h"
#include "ri/ribreader.h"
#include "ri/renderer.h"
#include "ri_common/rierror.h"
#include "ri_common/searchpath.h"

RibFrameFilter rib_frame_filter;
int render_debug_level = 1;

namespace {

int archive_depth = 0;

// "##" comments that carry structure: names the reader knows are read and
// ignored; the rest of the line of any other is skipped.
void structure_comment(RibReader &r, const std::string &name) {
    if (name == "Include") {
        std::string ignored;
        r.read_string(ignored);
    } else if (name == "CameraOrientation") {
        int n = 0;
        r.read_float_list(n, 0);
    } else {
        r.skip_line();
    }
}

bool is_letter(int c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// The arguments of a binary request whose code was never defined (the reader
// has told so): everything up to the next request goes unread.
void skip_arguments(RibReader &r) {
    RibToken t;
    for (;;) {
        int kind = r.next_token(t);
        if (kind == RIB_END) return;
        if (kind == RIB_IDENT || kind == RIB_STRUCTURE) {
            r.push_back(t);
            return;
        }
    }
}

} // namespace

void parse_rib(RibReader &r) {
    init_request_hash();
    if (rib_frame_filter.last < -1) return;
    int frame = -1;
    RibToken t;
    for (;;) {
        if (ri_run_end_status()) return;   // an error ended the run
        int kind = r.next_token(t);
        if (kind == RIB_END) break;
        switch (kind) {
        case '\n':
        case '\r':
        case RIB_NUMBER:
        case RIB_BINFLOAT:
            continue;
        case RIB_STRUCTURE:
            if (r.lookahead() == '#') {
                r.consume();
                if (is_letter(r.lookahead())) {
                    RibToken name;
                    if (r.next_token(name) == RIB_IDENT) {
                        structure_comment(r, name.text);
                        continue;
                    }
                    if (name.kind != RIB_END) r.push_back(name);
                }
            }
            r.skip_line();
            continue;
        case RIB_IDENT: {
            if (t.text.empty()) {
                skip_arguments(r);
                continue;
            }
            RibFrameFilter &f = rib_frame_filter;
            if (t.text == "FrameBegin") {
                frame++;
                f.active = f.first <= frame && frame <= f.last;
            } else if (t.text == "FrameEnd") {
                f.active = 1;
            }
            if (frame < 0 || (f.first <= frame && frame <= f.last)) {
                r.begin_request();
                dispatch_request(r, t.text.c_str());
                r.end_request();
                r.publish();  // a request may have read other RIB (archives, procedurals)
            } else {
                r.skip_line();
            }
            if (frame > f.last) return;
            continue;
        }
        default:
            if (rib_frame_filter.active && kind != ' ' && kind != '\t')
                ri_error(RIE_SYNTAX, RIE_ERROR, "RIB token unknown: \"%s\"", t.text.c_str());
            continue;
        }
    }
}

int read_rib_file(const char *name, const char *, int verbosity, int report_missing) {
    RibReader::verbosity = verbosity;
    const char *shown = name ? name : "stdin";
    RibReader r;
    // A folder opens, and reads as nothing at all.
    bool folder = name && velk::is_directory(name);
    bool opened = !folder && (name ? r.open(name) : r.open_fd(0, "stdin"));
    if (!opened) {
        if (render_debug_level >= 2 || (report_missing && verbosity != 0))
            ri_error(RIE_NOFILE, RIE_ERROR, folder ? "%s is a folder" : "%s", shown);
        return -1;
    }
    if (verbosity > 1) std::fprintf(stderr, "[%s]\n", shown);
    if (name) velk::remember_input(name);
    parse_rib(r);
    r.close();
    return 0;
}

void read_rc_file() {
    const char *home = std::getenv("VELKHOME");
    if (!home) home = std::getenv("HOME");
    if (!home) return;
    std::string rc = std::string(home) + "/.raylumerc";
    read_rib_file(rc.c_str(), current_archive_path(), current_verbosity(), 0);
}

int read_rib_fd(int fd, const char *name) {
    RibReader r;
    if (!r.open_fd(fd, name)) return -1;
    parse_rib(r);
    r.close();
    return 0;
}

int rib_archive_depth() {
    return archive_depth;
}

bool is_unknown_option(const char *arg) {
    if (arg[0] != '-' || arg[1] == '\0') return false;
    // A file whose name begins with '-' is still read.
    if (FILE *f = std::fopen(arg, "rb")) {
        std::fclose(f);
        return false;
    }
    ri_error(RIE_BADTOKEN, RIE_ERROR, "Unknown option %s (-h lists the options)", arg);
    return true;
}

RtVoid ri_front::ReadArchiveV(RtToken name, RtArchiveCallback, RtInt, RtToken[], RtPointer[]) {
    const char *archive_path = current_archive_path();
    std::string path;
    if (!name || !find_in_path(name, archive_path, path)) {
        ri_error(RIE_NOFILE, RIE_WARNING, "%s", name ? name : "");
        return;
    }
    if (!rib_frame_filter.active) return;
    if (archive_depth >= MAX_ARCHIVE_DEPTH) {
        ri_error_once(RIE_LIMIT, RIE_ERROR, "ReadArchive nested more than %d deep: %s", MAX_ARCHIVE_DEPTH, name);
        return;
    }
    // An archive that reads itself twice doubles at each level.
    if (current_renderer && !current_renderer->may_expand()) return;
    archive_depth++;
    read_rib_file(path.c_str(), archive_path, RibReader::verbosity, 1);
    archive_depth--;
}
