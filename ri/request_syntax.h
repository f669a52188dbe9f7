// The readers of the requests that have their own syntax (used by the request
// table only).
#pragma once
#include "ri/requests.h"

// Geometry with its own syntax, called in vector form.
void read_polygon_request(RibReader &r, const RibRequest &q);
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
void read_points_request(RibReader &r, const RibRequest &q);
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
