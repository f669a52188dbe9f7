// Frame pacing: frames start on a fixed beat of n per second; a frame that
// starts more than half a beat late is dropped so the animation keeps time.
#pragma once
#include <functional>

class FramePacer {
public:
    // Seconds on a steady clock.
    using Clock = std::function<double()>;
    // Waits until the given clock time.
    using Sleeper = std::function<void(double until)>;

    // The real clock and sleep by default.
    FramePacer();
    FramePacer(Clock clock, Sleeper sleeper);

    // Frames per second; 0 turns pacing off.
    void set_rate(int frames_per_second);
    int rate() const { return rate_; }
    // Waits for the next frame's slot; false when the frame is late and
    // should be dropped. Always true without pacing.
    bool next_frame();

private:
    Clock clock_;
    Sleeper sleeper_;
    int rate_ = 0;
    bool started_ = false;
    double next_slot_ = 0;
    double interval_ = 0;
};
