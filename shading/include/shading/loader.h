// Finding and loading shaders by name: native shader libraries
// (NAME.intelnt.murn) and compiled text shaders (NAME.murn) on the shader
// path, turned into registered Shader prototypes.
#pragma once
#include <cstdio>

class Shader;
namespace velk { struct DynLib; }

// The renderer's version, against which shader versions are checked.
inline constexpr const char RENDERER_VERSION[] = "2.5.0.7";

// Searches the "shader" search path, then $VELKSHADERS (else $SHADERS), then
// the directory of the standard shaders, for the native name then the text
// name at each place; loads what it finds. Null when nothing is found or the
// file is refused (reported).
Shader *load_compiled_shader(const char *name);
// Reads a compiled text shader from path (or from an open stream) and
// registers it under name. Null when refused (reported).
Shader *read_text_shader(const char *name, const char *path, FILE *stream = nullptr);
// Binds a loaded native shader library; null when refused (reported).
Shader *load_dso_shader(const char *name, const char *path, velk::DynLib *lib);

// RI error 45: "Error reading shader file <file>\n (<line>) <message>\n".
void shader_read_error(const char *file, int line, const char *message);

// Parses a version text "M.m.p<suffix>" (or "M.m.p.<build>"); false when the
// three numbers are not there.
bool parse_version(const char *text, int version[3]);
// True when version (major, minor, patch) is newer than the renderer's.
bool version_is_newer(const int version[3]);
// Reports the newer-version error for a file (RI error 4).
void report_newer_shader(const char *path, const int version[3]);
