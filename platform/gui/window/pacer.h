// When the window's frames are due: at the display's refresh rate, none while the window does
// not show, and one at once when it shows again. Over a clock it is given, in ticks.
#pragma once

#include <cstdint>

// What a window event says of whether the window shows.
enum class visibility { unknown, hidden, shown };

class frame_pacer {
public:
    // interval: ticks between frames; now: the clock's reading, when the first frame is due.
    frame_pacer(uint64_t interval, uint64_t now) : interval_(interval), next_(now) {}

    // Whether the window does not show, so that no frame is due.
    bool resting() const { return resting_; }

    // Ticks until the next frame is due, at now; 0 once it is.
    uint64_t wait(uint64_t now) const { return now < next_ ? next_ - now : 0; }

    // A frame is taken at now: the next is due an interval after this one was, or, after a
    // stall of an interval or more, an interval from now rather than in a burst that catches up.
    void take(uint64_t now) {
        next_ = now >= next_ && now - next_ >= interval_ ? now + interval_ : next_ + interval_;
    }

    // A window event at now: the window shows or not, or was exposed (and drawn anew at once,
    // so the next frame is an interval later). Showing again after a rest makes one due now.
    void update(visibility seen, bool exposed, uint64_t now) {
        if (exposed)
            next_ = now + interval_;
        else if (seen == visibility::shown && resting_)
            next_ = now;
        if (seen != visibility::unknown) resting_ = seen == visibility::hidden;
    }

private:
    uint64_t interval_;
    uint64_t next_;
    bool resting_ = false;
};
