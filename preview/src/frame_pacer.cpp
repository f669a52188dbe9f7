#include "preview/frame_pacer.h"

#include <chrono>
#include <thread>

namespace {

double steady_seconds()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void sleep_until_seconds(double until)
{
    // Sleeping rather than spinning leaves the processor to the drawing.
    double now = steady_seconds();
    if (until > now) std::this_thread::sleep_for(std::chrono::duration<double>(until - now));
}

} // namespace

FramePacer::FramePacer() : clock_(steady_seconds), sleeper_(sleep_until_seconds) {}

FramePacer::FramePacer(Clock clock, Sleeper sleeper) : clock_(std::move(clock)), sleeper_(std::move(sleeper)) {}

void FramePacer::set_rate(int frames_per_second)
{
    rate_ = frames_per_second > 0 ? frames_per_second : 0;
    started_ = false;
}

bool FramePacer::next_frame()
{
    if (rate_ <= 0) return true;
    if (!started_) {
        started_ = true;
        next_slot_ = clock_();
        interval_ = 1.0 / rate_;
    }
    next_slot_ += interval_;
    while (clock_() < next_slot_) sleeper_(next_slot_);
    return clock_() - next_slot_ <= 0.5 * interval_;
}
