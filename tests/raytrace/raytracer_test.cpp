// The back end object in-process: start-up, the world hooks, the frame range.
#include <gtest/gtest.h>

#include <cmath>

#include "raytrace/prim_params.h"
#include "raytrace/raytracer.h"
#include "ri/ribfile.h"
#include "ri/shader.h"
#include "ri/tokens.h"
#include "tests/ri/recording_renderer.h"

TEST(RayTracerStart, BuiltInLightsAreRegisteredOnce)
{
    RiBegin(nullptr);
    ASSERT_NE(RayTracer::current(), nullptr);
    Shader *bouncer = find_shader("bouncer");
    Shader *indirect = find_shader("indirect");
    ASSERT_NE(bouncer, nullptr);
    ASSERT_NE(indirect, nullptr);
    int offset = -1, type = 0;
    EXPECT_EQ(bouncer->find_param(NewToken("__dummy"), &offset, &type), 1);
    EXPECT_EQ(offset, 0);
    EXPECT_EQ(type, PtFLOAT);
    EXPECT_EQ(indirect->find_param(NewToken("algorithm"), &offset, &type), 1);
    EXPECT_EQ(indirect->find_param(NewToken("__nonspecular"), &offset, &type), 1);
    EXPECT_EQ(offset, 4);
    EXPECT_EQ(indirect->param_size, 8);
    // The white colour of a fresh renderer.
    EXPECT_EQ(current_renderer->attributes->color, Color(1, 1, 1));
    RiEnd();
    // A second start registers nothing again.
    int before = 0;
    for (Shader *s = first_shader(); s; s = s->next) before++;
    RiBegin(nullptr);
    int after = 0;
    for (Shader *s = first_shader(); s; s = s->next) after++;
    EXPECT_EQ(after, before);
    RiEnd();
}

TEST(RayTracerStart, ShadingFindsTheSceneOfTheCurrentRenderer)
{
    RiBegin(nullptr);
    RtContextHandle tracer = RiGetContext();
    EXPECT_EQ(current_scene(), static_cast<SceneAccess *>(RayTracer::current()));
    velktest::RecordingRenderer other;
    current_renderer = &other;
    EXPECT_EQ(current_scene(), nullptr);
    RiContext(tracer);
    EXPECT_NE(current_scene(), nullptr);
    RiEnd();
    EXPECT_EQ(current_scene(), nullptr);
}

TEST(RayTracerWorld, DefaultSurfaceWhenNoneIsSet)
{
    RiBegin(nullptr);
    RiWorldBegin();
    ASSERT_TRUE(current_renderer->attributes->shaders[USE_SURFACE].is_set());
    EXPECT_STREQ(current_renderer->attributes->shaders[USE_SURFACE]->shader->name, "defaultsurface");
    current_renderer->options.render_enabled = 0;
    RiWorldEnd();
    RiEnd();
}

TEST(RayTracerFrames, ObjectsOfAFrameGoWithIt)
{
    // -frames is the reader's: a frame the renderer is given renders, whatever its number.
    RibFrameFilter saved = rib_frame_filter;
    rib_frame_filter.first = 2;
    rib_frame_filter.last = 3;
    RiBegin(nullptr);
    RiFrameBegin(7);
    EXPECT_EQ(current_renderer->options.render_enabled, 1);
    RiWorldBegin();
    RiSphere(1, -1, 1, 360, RI_NULL);
    EXPECT_NE(RayTracer::current()->world_objects, nullptr);
    current_renderer->options.render_enabled = 0;
    RiWorldEnd();
    EXPECT_EQ(RayTracer::current()->world_objects, nullptr);
    EXPECT_EQ(RayTracer::current()->frame_objects, nullptr);
    RiFrameEnd();
    RiEnd();
    rib_frame_filter = saved;
}

TEST(MeshNormals, SumsOfUnitFaceNormals)
{
    // Two faces folded along the edge 0-1: one in the xy plane, one in the xz plane.
    float P[12] = {0, 0, 0, 1, 0, 0, 1, 1, 0, 1, 0, -1};
    int nverts[] = {3, 3};
    int verts[] = {0, 1, 2, 0, 1, 3};
    std::vector<float> n = mesh_vertex_normals(P, 4, 2, nverts, verts, false);
    ASSERT_EQ(n.size(), 12u);
    // Vertex 2 belongs to the first face only: +z.
    EXPECT_NEAR(n[8], 1, 1e-6f);
    // Vertices 0 and 1 take the mean of +z and +y.
    EXPECT_NEAR(n[1], std::sqrt(0.5f), 1e-6f);
    EXPECT_NEAR(n[2], std::sqrt(0.5f), 1e-6f);
    // Inside out, every normal turns round.
    std::vector<float> r = mesh_vertex_normals(P, 4, 2, nverts, verts, true);
    for (int i = 0; i < 12; i++) EXPECT_NEAR(r[i], -n[i], 1e-6f);
}
