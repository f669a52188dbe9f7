// Light shaders as GL lights, and the shader operation of the back end.
#include "preview/gllight.h"

#include <GL/gl.h>

#include "glparams.h"
#include "preview/glrenderer.h"
#include "ri_common/same_string.h"
#include "ri/tokens.h"

namespace {

// A point parameter under either of its two names.
bool point_param(RtInt n, const RtToken tokens[], const RtPointer values[], const char *a, const char *b,
                 Point &out)
{
    GlParam p = find_param(n, tokens, values, a);
    if (!p.floats()) p = find_param(n, tokens, values, b);
    const float *v = p.floats();
    if (!v || p.decl->words() < 3) return false;
    out = Point::from(v);
    return true;
}

// Any non-null handle names a light to the front end; nothing follows it.
char light_handle_mark;

} // namespace

GlLight make_gl_light(RtToken shader, RtInt n, const RtToken tokens[], const RtPointer values[])
{
    GlLight l;
    l.shader = NewToken(shader);
    float intensity = 1;
    if (GlParam p = find_param(n, tokens, values, "intensity")) intensity = p.f();
    GlParam c = find_param(n, tokens, values, "lightcolor");
    if (c.floats() && c.decl->words() >= 3) l.color = Color::from(c.floats());
    point_param(n, tokens, values, "from", "lightfrom", l.from);
    point_param(n, tokens, values, "to", "lightto", l.to);
    if (GlParam p = find_param(n, tokens, values, "coneangle")) l.cone_angle = p.f();
    if (GlParam p = find_param(n, tokens, values, "conedeltaangle")) l.cone_delta = p.f();
    if (GlParam p = find_param(n, tokens, values, "beamdistribution")) l.beam_distribution = p.f();
    l.color *= intensity;
    return l;
}

RtPointer GlRenderer::shader(RtToken name, int use, RtInt n, RtToken tokens[], RtPointer values[])
{
    if (use == USE_IMAGER && is(name, "background")) {
        for (RtInt k = 0; k < n; k++) {
            Declaration *d = tokens && tokens[k] ? declarations().lookup(tokens[k]) : nullptr;
            if (!d || !is(d->name(), "background") || !values[k] || d->words() < 3) continue;
            const float *c = static_cast<const float *>(values[k]);
            for (int i = 0; i < 3; i++) options.clearcolor[i] = clear_color[i] = c[i];
        }
        return nullptr;
    }
    if (use != USE_LIGHT && use != USE_AREALIGHT) return nullptr;
    if (unlit || dropping_frame_) return nullptr;
    GlLight l = make_gl_light(name, n, tokens, values);
    if (level & LEVEL_WORLD) {
        light_requests++;
        apply_gl_light(l, true);
    } else if (light_count < PREVIEW_MAX_LIGHTS) {
        float t = options.shutter_open;
        transformation->point_to_world(l.from.data(), l.from.data(), t);
        transformation->point_to_world(l.to.data(), l.to.data(), t);
        light_levels[light_count] = (level & LEVEL_FRAME) ? LEVEL_FRAME : LEVEL_GLOBAL;
        lights[light_count++] = l;
    }
    return &light_handle_mark;
}

void GlRenderer::apply_gl_light(const GlLight &l, bool under_current)
{
    if (enabled_lights >= PREVIEW_MAX_LIGHTS) return;
    GLenum id = GLenum(GL_LIGHT0 + enabled_lights++);
    glPushMatrix();
    if (under_current) glMultMatrixf(transformation->statics[TM_M]);
    glEnable(id);
    const GLfloat colour[4] = {l.color.x, l.color.y, l.color.z, 1};
    const GLfloat zero[4] = {0, 0, 0, 0};
    const GLfloat half[4] = {0.5f, 0.5f, 0.5f, 1};
    // Every parameter is set, so nothing of a light that used this slot before stays.
    GLfloat cutoff = 180;
    const GLfloat down[3] = {0, 0, -1};
    if (is(l.shader, "ambientlight")) {
        glLightfv(id, GL_AMBIENT, colour);
        glLightfv(id, GL_DIFFUSE, zero);
        glLightfv(id, GL_SPECULAR, zero);
        const GLfloat position[4] = {0, 0, 1, 0};
        glLightfv(id, GL_POSITION, position);
        glLightf(id, GL_LINEAR_ATTENUATION, 0);
        glLightf(id, GL_QUADRATIC_ATTENUATION, 0);
        glLightfv(id, GL_SPOT_DIRECTION, down);
    } else if (is(l.shader, "pointlight") || is(l.shader, "spotlight")) {
        glLightfv(id, GL_DIFFUSE, colour);
        glLightfv(id, GL_SPECULAR, half);
        glLightfv(id, GL_AMBIENT, zero);
        const GLfloat position[4] = {l.from.x, l.from.y, l.from.z, 1};
        glLightfv(id, GL_POSITION, position);
        glLightf(id, GL_LINEAR_ATTENUATION, 0);
        glLightf(id, GL_QUADRATIC_ATTENUATION, 1);
        if (is(l.shader, "spotlight")) {
            Point d = l.to - l.from;
            const GLfloat direction[3] = {d.x, d.y, d.z};
            glLightfv(id, GL_SPOT_DIRECTION, direction);
            // GL takes cut-offs up to 90 degrees (or exactly 180).
            cutoff = radians_to_degrees(l.cone_angle + l.cone_delta);
            if (!(cutoff >= 0)) cutoff = 0;
            if (cutoff > 90) cutoff = 90;
        } else {
            glLightfv(id, GL_SPOT_DIRECTION, down);
        }
    } else {
        // "distantlight" and any other light: a directional light.
        glLightfv(id, GL_DIFFUSE, colour);
        glLightfv(id, GL_SPECULAR, half);
        glLightfv(id, GL_AMBIENT, zero);
        Point d = normalize(l.from - l.to);
        const GLfloat position[4] = {d.x, d.y, d.z, 0};
        glLightfv(id, GL_POSITION, position);
        glLightf(id, GL_LINEAR_ATTENUATION, 0);
        glLightf(id, GL_QUADRATIC_ATTENUATION, 0);
        glLightfv(id, GL_SPOT_DIRECTION, down);
    }
    glLightf(id, GL_CONSTANT_ATTENUATION, 1);
    glLightf(id, GL_SPOT_CUTOFF, cutoff);
    glLightf(id, GL_SPOT_EXPONENT, 0);
    glPopMatrix();
}
