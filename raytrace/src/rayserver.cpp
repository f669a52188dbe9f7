// The ray server: in place of the pixel loop, another renderer sends ray
// queries on our standard input and reads the answers on our standard output.
// A query is two bytes (the letter second) and a fixed body of native floats;
// an answer is a fixed record of native floats.
#include <cstdio>
#include <cstring>

#include "platform/rawio.h"
#include "raytrace/gprim.h"
#include "raytrace/hierarchy.h"
#include "raytrace/ray.h"
#include "raytrace/raytracer.h"
#include "raytrace/shade_hits.h"
#include "shading/illum.h"
#include "shading/tracing.h"

namespace {

const float FAR = 1e38f;

// Bytes of the bodies and answers.
enum { BODY_SMALL = 48, BODY_FULL = 64, ANSWER_TRACE = 16, ANSWER_HIT = 28, ANSWER_FULL = 80 };

Point point_at(const unsigned char *body, int offset)
{
    float f[3];
    std::memcpy(f, body + offset, 12);
    return Point::from(f);
}

float float_at(const unsigned char *body, int offset)
{
    float f;
    std::memcpy(&f, body + offset, 4);
    return f;
}

// A hit distance along the normalised ray as the client's ray parameter:
// origin + distance x its direction is the point answered.
float along_query(float linet, const Point &dir)
{
    return linet / dir.length();
}

void put(unsigned char *answer, int offset, const Point &p) { std::memcpy(answer + offset, p.data(), 12); }
void put(unsigned char *answer, int offset, float f) { std::memcpy(answer + offset, &f, 4); }

class RayServer {
public:
    RayServer(RayTracer &rt, int in, int out) : rt_(rt), in_(in), out_(out) {}
    // Answers queries until 'q', the end of the input or a failed write.
    void run();

private:
    // The body of a query (zeros past a short read).
    void read_body(int size)
    {
        std::memset(body_, 0, sizeof body_);
        velk::read_fully(in_, body_, size_t(size));
    }
    bool answer(const unsigned char *a, int size) { return velk::write_fully(out_, a, size_t(size)); }
    GPrimitive *secondary_root() const
    {
        return rt_.secondary_hierarchy ? static_cast<GPrimitive *>(rt_.secondary_hierarchy) : rt_.frame_objects;
    }
    // A level-1 ray of weight 1 from origin along dir over [minshadowbias, 1e38].
    Ray query_ray(const Point &origin, const Point &dir, float time) const
    {
        Ray ray(origin, dir, time, 1, 1, 0);
        ray.set_range(rt_.options.minshadowbias, FAR);
        return ray;
    }

    bool trace();
    bool visibility();
    bool hit();
    bool fulltrace();
    bool indirect();

    RayTracer &rt_;
    int in_, out_;
    unsigned char body_[BODY_FULL];
    GPrimitive *last_full_hit_ = nullptr;   // likely object of the next 'f'
};

void RayServer::run()
{
    unsigned char request[2];
    while (velk::read_fully(in_, request, 2) == 2) {
        bool ok = true;
        switch (request[1]) {
        case 't': ok = trace(); break;
        case 'v': ok = visibility(); break;
        case 'h': ok = hit(); break;
        case 'f': ok = fulltrace(); break;
        case 'i': ok = indirect(); break;
        case 'q': return;
        default:
            std::fprintf(stderr, "Ray server error: don't know query '%c' (%d)\n", request[1], int(request[1]));
            std::fflush(stderr);
        }
        rt_.sampler.next_pixel();
        if (!ok) return;   // nobody reads the answers any more
    }
}

bool RayServer::trace()
{
    read_body(BODY_SMALL);
    unsigned char a[ANSWER_TRACE] = {};
    Point dir = point_at(body_, 12);
    if (dir != Point()) {
        Ray ray = query_ray(point_at(body_, 0), dir, float_at(body_, 24));
        ray.set_sample_value(float_at(body_, 28));
        ray.trace();
        put(a, 0, ray.color);
        put(a, 12, ray.alpha);
    }
    return answer(a, sizeof a);
}

bool RayServer::visibility()
{
    read_body(BODY_SMALL);
    Point from = point_at(body_, 0);
    Point d = point_at(body_, 12) - from;
    Color result(1, 1, 1);
    float distance = d.length();
    if (distance > 0) transmission(normalize(d), from, float_at(body_, 24), float_at(body_, 28), result, distance, nullptr);
    unsigned char a[12];
    put(a, 0, result);
    return answer(a, sizeof a);
}

bool RayServer::hit()
{
    read_body(BODY_SMALL);
    unsigned char a[ANSWER_HIT] = {};
    float distance = FAR;
    Point dir = point_at(body_, 12);
    if (dir != Point()) {
        Ray ray = query_ray(point_at(body_, 0), dir, rt_.options.shutter_open);
        IntersectionList hits = ray.find_hit(secondary_root());
        if (Intersection *h = hits.head()) {
            distance = along_query(h->linet, dir);
            h->Ps = ray.origin + ray.dir * h->linet;
            if (!h->finished && h->obj) gprim(h->obj)->fill_hit(h);
            put(a, 4, h->Ps);
            put(a, 16, normalize(h->Ns));
        }
        hits.free_list();
    }
    put(a, 0, distance);
    return answer(a, sizeof a);
}

bool RayServer::fulltrace()
{
    read_body(BODY_FULL);
    unsigned char a[ANSWER_FULL] = {};
    Point origin = point_at(body_, 0), dir = point_at(body_, 12);
    reset_fulltrace(origin, dir);
    float hit_count = 1.0f, distance = FAR;
    Point Pmiss = origin, Rmiss = dir;
    if (dir != Point()) {
        Ray ray = query_ray(origin, dir, rt_.options.shutter_open);
        IntersectionList hits = ray.find_hit(secondary_root(), last_full_hit_);
        count_ray(1);
        last_full_hit_ = ray.hit_object;
        if (Intersection *h = hits.head()) {
            shade_hit(h, ray);
            distance = along_query(h->linet, dir);
            put(a, 4, h->Ci);
            put(a, 20, h->Ps);
            put(a, 32, normalize(h->Ns));
            last_fulltrace(hit_count, Pmiss, Rmiss);
        }
        hits.free_list();
    }
    put(a, 0, hit_count);
    put(a, 16, distance);
    put(a, 44, Pmiss);
    put(a, 56, Rmiss);
    return answer(a, sizeof a);
}

bool RayServer::indirect()
{
    read_body(BODY_SMALL);
    Point L;
    Color light;
    Point N = normalize(point_at(body_, 12));
    // Asked like a camera ray's point, so that the one bounce is computed.
    rt_.indirect_illumination(point_at(body_, 0), N, float_at(body_, 24), 1, 0, 0, 1, L, light);
    unsigned char a[12];
    put(a, 0, light);
    return answer(a, sizeof a);
}

} // namespace

void RayTracer::ray_server()
{
    std::fflush(stdout);   // the answers must not mix with buffered text
    RayServer server(*this, 0, 1);
    server.run();
}
