// Scenes written through the RIB writer, shared by its tests and by the
// helper program that writes them for the reader-side tests.
#pragma once

namespace ribtest {

// Calls every RI procedure that has a RIB request, once, inside one frame.
// display names the output image.
void write_every_request(const char *display);

// A small scene the renderer draws (a lit sphere and a polygon) into display.
void write_render_scene(const char *display);

} // namespace ribtest
