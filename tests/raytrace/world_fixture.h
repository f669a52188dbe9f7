// A world block open for each test: the objects it collects are read from
// the ray tracer, and the world ends without rendering.
#pragma once
#include <gtest/gtest.h>

#include "raytrace/raytracer.h"
#include "ri/renderer.h"
#include "ri_common/ri.h"

class WorldTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RiBegin(nullptr);
        before_world();
        RiWorldBegin();
    }
    void TearDown() override
    {
        current_renderer->options.render_enabled = 0;
        RiWorldEnd();
        RiEnd();
    }
    // Options of the frame, given before the world begins.
    virtual void before_world() {}
    static GPrimitive *objects() { return RayTracer::current()->world_objects; }
    static int count()
    {
        int n = 0;
        for (GPrimitive *o = objects(); o; o = o->next) n++;
        return n;
    }
};
