// The readers of the requests that have their own syntax (used by the request
// table only).
#pragma once
#include <cstddef>
#include <cstdint>

#include "ri/requests.h"

// Geometry with its own syntax, called in vector form.
// Polygon and Points: a vertex count implied by the positions.
void read_vertex_list_request(RibReader &r, const RibRequest &q);
void read_hyperboloid_request(RibReader &r, const RibRequest &q);
void read_torus_request(RibReader &r, const RibRequest &q);
void read_patch_request(RibReader &r, const RibRequest &q);
void read_patch_mesh_request(RibReader &r, const RibRequest &q);
void read_nu_patch_request(RibReader &r, const RibRequest &q);
void read_trim_curve_request(RibReader &r, const RibRequest &q);
void read_general_polygon_request(RibReader &r, const RibRequest &q);
void read_points_polygons_request(RibReader &r, const RibRequest &q);
void read_points_general_polygons_request(RibReader &r, const RibRequest &q);
void read_curves_request(RibReader &r, const RibRequest &q);
void read_subdivision_mesh_request(RibReader &r, const RibRequest &q);
void read_blobby_request(RibReader &r, const RibRequest &q);
void read_procedural_request(RibReader &r, const RibRequest &q);

// Other requests with their own syntax.
void read_basis_request(RibReader &r, const RibRequest &q);
void read_declare_request(RibReader &r, const RibRequest &q);
void read_display_request(RibReader &r, const RibRequest &q);
void read_pixel_filter_request(RibReader &r, const RibRequest &q);
void read_quantize_request(RibReader &r, const RibRequest &q);
void read_light_source_request(RibReader &r, const RibRequest &q);
void read_illuminate_request(RibReader &r, const RibRequest &q);
void read_motion_begin_request(RibReader &r, const RibRequest &q);
void read_object_begin_request(RibReader &r, const RibRequest &q);
void read_object_instance_request(RibReader &r, const RibRequest &q);
void read_skew_request(RibReader &r, const RibRequest &q);
void read_geometric_approximation_request(RibReader &r, const RibRequest &q);
void read_transform_points_request(RibReader &r, const RibRequest &q);
void read_error_handler_request(RibReader &r, const RibRequest &q);
void read_color_samples_request(RibReader &r, const RibRequest &q);
void read_read_archive_request(RibReader &r, const RibRequest &q);

// The texture-making requests.
void read_make_request(RibReader &r, const RibRequest &q);

// Argument reading shared by the readers above.
struct RibCursor;

// Reports "Bad arguments to <request>".
void bad_arguments(const RibRequest &q);
// One number as an integer; one string, interned. False after an error.
bool read_int(RibReader &r, RtInt &out);
bool read_token(RibReader &r, RtToken &out);
// Values read into the request arrays at the cursor, which moves past them;
// at is where they begin. False after an error.
bool take_int_list(RibReader &r, RibCursor &c, int &count, size_t &at);
bool take_int_array(RibReader &r, RibCursor &c, int64_t count, size_t &at);
bool take_float_list(RibReader &r, RibCursor &c, int &count, size_t &at);
bool take_float_array(RibReader &r, RibCursor &c, int64_t count, size_t &at);
bool take_string_list(RibReader &r, RibCursor &c, int &count, size_t &at);
