#pragma once
// The light effects were timed in changes of a system tick count that moves in steps of
// 15.625 ms (a breath at speed 4 takes 128 ticks = 2 s). Every light worker and the
// synchronised-lighting worker count their step periods in these ticks, never in milliseconds;
// one pass of a worker's loop also lasts one tick. The one exception is the user-effect player
// (CLightEngine::PlayUserEffectUntil): its segments are timed in milliseconds, and a worker
// playing one sleeps until the player's next frame instead.
#include <chrono>
#include <cstdint>

#include "platform/Clock.h"

namespace q417 {

inline constexpr std::chrono::microseconds kLightTickPeriod{15625};

// Whole ticks elapsed from `origin` to `now`; 0 when `now` is not after `origin`.
constexpr std::int64_t LightTicksBetween(Clock::TimePoint origin, Clock::TimePoint now) {
    if (now <= origin) {
        return 0;
    }
    return static_cast<std::int64_t>((now - origin) / kLightTickPeriod);
}

// The tick count of a steady time, like the system tick count the effects were timed with
// (two times in the same tick give the same count).
constexpr std::int64_t LightTickCount(Clock::TimePoint t) {
    return static_cast<std::int64_t>(t.time_since_epoch() / kLightTickPeriod);
}

// Length of `ticks` ticks.
constexpr Clock::Duration LightTicksToDuration(std::int64_t ticks) {
    return std::chrono::duration_cast<Clock::Duration>(kLightTickPeriod * ticks);
}

// The time at which `ticks` whole ticks will have passed since `origin`; a worker sleeps until
// then instead of waking every millisecond.
constexpr Clock::TimePoint LightTickDeadline(Clock::TimePoint origin, std::int64_t ticks) {
    return origin + LightTicksToDuration(ticks);
}

}  // namespace q417
