// Installers of the interpreter's operation modules; build_op_table runs them
// in the order of install_op_modules (optable.cpp).
#pragma once

// return, return_area, jumps, logic and copies.
void install_control_ops();
// Pushes and pops of symbols and constants.
void install_stack_ops();
// Arithmetic on floats, triples and matrices.
void install_arith_ops();
// Comparisons.
void install_compare_ops();
// Array elements, setting from a float, widening.
void install_var_ops();
// Mathematics on floats and triples.
void install_math_ops();
// Facing, reflection, refraction, Fresnel, rotation, depth, matrix functions.
void install_geometry_ops();
// Colour-space conversions.
void install_color_ops();
// Splines.
void install_spline_ops();
// Filtered steps.
void install_filterstep_ops();
// Derivatives, area and calculatenormal.
void install_deriv_ops();
// noise, pnoise, cellnoise.
void install_noise_ops();
// shadername, seq, sne, match, concat, format, printf.
void install_string_ops();
// option, attribute and rendererinfo queries.
void install_query_ops();
// Transforms of points, vectors, normals and matrices between spaces.
void install_transform_ops();
// dsoop: shadeop plug-ins.
void install_shadeop_ops();
// surface, displacement, atmosphere, lightsource, incident, opposite.
void install_message_ops();
// ambient, diffuse, specular, phong, specularbrdf; illuminate, solar,
// ambience and illuminance.
void install_light_ops();
// trace, visibility, rayhittest, fulltrace, raylevel, isshadowray.
void install_trace_ops();
// ftexture, ctexture, fenvironment, cenvironment, shadow, bump, textureinfo.
void install_texture_ops();
// mcomp, msetcomp, mmix and the equality of matrices.
void install_matrix_ops();
// Dtime of floats and triples.
void install_time_ops();
