// The player of user-defined effect sequences.
#include <gtest/gtest.h>

#include <chrono>
#include <random>

#include "lighting/CLightEngine.h"
#include "lighting/LightTables.h"
#include "platform/Clock.h"

namespace q417 {
namespace {

LightSegment Segment(std::uint8_t mode, std::uint8_t speed, std::uint32_t timeMs,
                     std::uint8_t multi = 0, std::uint8_t direction = 0) {
    LightSegment s{};
    s.mode = mode;
    s.brightness = 4;
    s.speed = speed;
    s.direction = direction;
    s.multiColor = multi;
    s.red = 9;
    s.green = 8;
    s.blue = 7;
    s.time = timeMs;
    return s;
}

TEST(UserEffectPlayer, NoSegmentsTurnsEverythingOff) {
    CLightEngine e(4);
    e.SetKeyColour(2, {1, 2, 3, 4});
    e.PlayUserEffect(0, 4);
    EXPECT_EQ(e.GetKeyColour(2), KeyColour{});
}

TEST(UserEffectPlayer, SegmentTimeMovesToTheNextSegment) {
    CLightEngine e(4);
    LightSegment a = Segment(1, 4, 0);
    LightSegment b = Segment(1, 4, 0);
    b.red = 200;
    e.SetUserEffect({a});
    e.PlayUserEffect(5, 0);  // Time 0: every pass moves on, here to the same segment
    EXPECT_EQ(e.Player().segmentIndex, 0u);
    EXPECT_EQ(e.GetKeyColour(0), (KeyColour{9, 8, 7, 255}));

    e.SetUserEffect({a, b});
    e.PlayUserEffect(5, 0);
    e.PlayUserEffect(5, 0);  // same millisecond, still the next segment
    EXPECT_EQ(e.GetKeyColour(3).red, 200);
    e.PlayUserEffect(5, 0);
    EXPECT_EQ(e.GetKeyColour(3).red, 9);

    a.time = 1000;
    e.SetUserEffect({a, b});
    e.PlayUserEffect(100, 0);
    e.PlayUserEffect(1100, 0);
    EXPECT_EQ(e.Player().segmentIndex, 0u);  // exactly 1000 ms: not yet more than Time
    e.PlayUserEffect(1101, 0);
    EXPECT_EQ(e.Player().segmentIndex, 1u);
}

TEST(UserEffectPlayer, ColourCyclePeriods) {
    CLightEngine e(2);
    e.SetUserEffect({Segment(5, 4, 60000)});
    e.PlayUserEffect(0, 0);                                     // period 0: a step on every pass
    EXPECT_EQ(e.GetKeyColour(1), (KeyColour{255, 3, 0, 255}));  // hue 1
    e.PlayUserEffect(1, 0);
    EXPECT_EQ(e.Player().phase, 2);

    CLightEngine slow(2);
    slow.SetUserEffect({Segment(5, 0, 60000)});
    for (int i = 0; i < 7; ++i) {
        slow.PlayUserEffect(0, 0);
    }
    EXPECT_EQ(slow.Player().phase, 0);
    slow.PlayUserEffect(0, 0);  // the eighth pass
    EXPECT_EQ(slow.Player().phase, 1);

    // Each engine plays with its own state: another device's player is not advanced.
    CLightEngine other(2);
    other.SetUserEffect({Segment(5, 4, 60000)});
    other.PlayUserEffect(0, 0);
    EXPECT_EQ(other.Player().phase, 1);
    EXPECT_EQ(e.Player().phase, 2);
}

TEST(UserEffectPlayer, BreathingAndFlash) {
    CLightEngine e(2);
    e.SetUserEffect({Segment(0, 4, 60000)});
    for (int i = 0; i < 63; ++i) {
        e.PlayUserEffect(0, 0);
    }
    EXPECT_EQ(e.GetKeyColour(0), (KeyColour{9, 8, 7, 254}));  // phase 63: 255 · 255 ÷ 256
    for (int i = 0; i < 65; ++i) {
        e.PlayUserEffect(0, 0);
    }
    EXPECT_EQ(e.Player().phase, 0);
    EXPECT_EQ(e.Player().colourCounter, 1);

    // The flash half-period follows the device's speed (4: 200 ms), not the segment's.
    CLightEngine f(2);
    f.SetUserEffect({Segment(2, 0, 60000, 1)});
    f.PlayUserEffect(100, 4);
    EXPECT_EQ(f.GetKeyColour(0), KeyColour{});
    f.PlayUserEffect(200, 4);
    EXPECT_TRUE(f.Player().flashOn);
    EXPECT_EQ(f.Player().flashHue, 16);  // phase 2 + 14
    const Rgb c = WheelColour(16);
    EXPECT_EQ(f.GetKeyColour(1), (KeyColour{c.r, c.g, c.b, 255}));
    f.PlayUserEffect(399, 4);
    EXPECT_TRUE(f.Player().flashOn);
    f.PlayUserEffect(400, 4);
    EXPECT_EQ(f.GetKeyColour(1), KeyColour{});
}

TEST(UserEffectPlayer, WaveStaysInsideItsRamp) {
    // Direction 1 starts the fixed-colour wave at index 191, past the 96-entry ramp.
    CLightEngine e(20);
    e.SetUserEffect({Segment(4, 4, 60000, 0, 1)});
    e.PlayUserEffect(0, 0);
    EXPECT_EQ(e.GetKeyColour(0), (KeyColour{9, 8, 7, 56}));  // ramp[11] = 57
    for (int i = 0; i < 400; ++i) {
        e.PlayUserEffect(0, 0);
    }

    CLightEngine m(3);
    m.SetUserEffect({Segment(4, 4, 60000, 1, 0)});
    m.PlayUserEffect(0, 0);  // phase 1: d = 2, then + 12 per LED
    EXPECT_EQ(m.GetKeyColour(0), (KeyColour{255, 5, 0, 255}));
    EXPECT_EQ(m.GetKeyColour(1), (KeyColour{255, 65, 0, 255}));  // hue 14

    // Another mode leaves the LEDs as they are.
    CLightEngine o(2);
    o.SetKeyColour(0, {1, 2, 3, 4});
    o.SetUserEffect({Segment(3, 4, 60000)});
    o.PlayUserEffect(0, 0);
    EXPECT_EQ(o.GetKeyColour(0), (KeyColour{1, 2, 3, 4}));
}

// ---- the player as the light worker runs it: one pass per millisecond, by due time ----------

using std::chrono::milliseconds;

std::uint32_t Ms(const ManualClock& clock) {
    return static_cast<std::uint32_t>(
        std::chrono::floor<milliseconds>(clock.Now().time_since_epoch()).count());
}

TEST(UserEffectPlayer, SegmentsEndAtTheirOwnMillisecondTime) {
    // A red and a blue segment of 100 ms, played the way the worker plays them: at each due
    // time returned. Each segment moves on on the pass more than 100 ms after its start; the
    // pass after shows the next one, so the colour changes every 101 ms, from 102 ms on.
    ManualClock clock;
    CLightEngine e(2);
    LightSegment red = Segment(1, 4, 100);
    red.red = 255;
    red.green = red.blue = 0;
    LightSegment blue = red;
    blue.red = 0;
    blue.blue = 255;
    e.SetUserEffect({red, blue});
    const std::uint32_t start = Ms(clock);
    std::vector<std::pair<std::uint32_t, std::uint8_t>> frames;  // (ms after start, red)
    int wakes = 0;
    while (Ms(clock) - start <= 1000) {
        auto next = e.PlayUserEffectUntil(Ms(clock), 0, true);
        ++wakes;
        const std::uint8_t r = e.GetKeyColour(1).red;
        if (frames.empty() || frames.back().second != r) {
            frames.emplace_back(Ms(clock) - start, r);
        }
        ASSERT_TRUE(next.has_value());
        clock.Advance(*next);
    }
    const std::vector<std::pair<std::uint32_t, std::uint8_t>> expected = {
        {0, 255}, {102, 0},   {203, 255}, {304, 0},   {405, 255},
        {506, 0}, {607, 255}, {708, 0},   {809, 255}, {910, 0}};
    EXPECT_EQ(frames, expected);
    // Static segments: a wake-up per segment, not one per millisecond or per tick.
    EXPECT_EQ(wakes, 10);

    // Driven every millisecond instead, the colour is the same: red until 101 ms, blue at 102.
    CLightEngine m(2);
    m.SetUserEffect({red, blue});
    ManualClock c2;
    const std::uint32_t s2 = Ms(c2);
    for (std::uint32_t t = 0; t <= 102; ++t) {
        m.PlayUserEffectUntil(s2 + t, 0, true);
        EXPECT_EQ(m.GetKeyColour(0).red, t < 102 ? 255 : 0) << t << " ms";
    }
}

TEST(UserEffectPlayer, AnimationStepsOncePerMillisecond) {
    // Colour cycle at speed 4 steps on every pass: 100 ms later it is 100 hues on.
    CLightEngine e(2);
    e.SetUserEffect({Segment(5, 4, 60000)});
    EXPECT_EQ(e.PlayUserEffectUntil(5000, 0, true), milliseconds(1));
    EXPECT_EQ(e.Player().phase, 1);
    EXPECT_EQ(e.PlayUserEffectUntil(5100, 0, true), milliseconds(1));
    EXPECT_EQ(e.Player().phase, 101);
    const Rgb c = WheelColour(101);
    EXPECT_EQ(e.GetKeyColour(1), (KeyColour{c.r, c.g, c.b, 255}));
    // The same millisecond again plays no pass.
    EXPECT_EQ(e.PlayUserEffectUntil(5100, 0, true), milliseconds(1));
    EXPECT_EQ(e.Player().phase, 101);
    // Not continued (the worker was parked): only the pass at that time.
    e.PlayUserEffectUntil(9000, 0, false);
    EXPECT_EQ(e.Player().phase, 102);
    // A time before the last pass is not taken for a wrap of the clock: again only one pass.
    e.PlayUserEffectUntil(8000, 0, true);
    EXPECT_EQ(e.Player().phase, 103);
    // Across the wrap of the millisecond clock the passes in between are played.
    e.PlayUserEffectUntil(UINT32_MAX - 9, 0, false);
    e.PlayUserEffectUntil(10, 0, true);
    EXPECT_EQ(e.Player().phase, 124);

    // Another mode steps nothing; its counter restarts at 0 when it reaches 255, as pass by pass.
    CLightEngine o(2);
    CLightEngine q(2);
    o.SetUserEffect({Segment(3, 4, 60000)});
    q.SetUserEffect({Segment(3, 4, 60000)});
    o.PlayUserEffectUntil(2000, 0, true);
    o.PlayUserEffectUntil(2254, 0, true);
    for (std::uint32_t t = 2000; t <= 2254; ++t) {
        q.PlayUserEffect(t, 0);
    }
    EXPECT_EQ(q.Player().passCounter, 0);
    EXPECT_EQ(o.Player().passCounter, 0);

    // Breathing at speed 4: a breath of 128 phases takes 128 ms.
    CLightEngine b(2);
    b.SetUserEffect({Segment(0, 4, 60000)});
    b.PlayUserEffectUntil(1000, 0, true);
    b.PlayUserEffectUntil(1127, 0, true);
    EXPECT_EQ(b.Player().phase, 0);
    EXPECT_EQ(b.Player().colourCounter, 1);
}

TEST(UserEffectPlayer, NextFrameByMode) {
    CLightEngine e(2);
    EXPECT_EQ(e.PlayUserEffectUntil(100, 0, true), std::nullopt);  // no segments: all off
    EXPECT_EQ(e.GetKeyColour(0), KeyColour{});

    e.SetUserEffect({Segment(1, 4, 10000)});  // static: the next frame is the next segment's
    EXPECT_EQ(e.PlayUserEffectUntil(100, 0, true), milliseconds(10002));
    e.SetUserEffect({Segment(1, 4, UINT32_MAX)});  // a time never exceeded: no frame at all
    EXPECT_EQ(e.PlayUserEffectUntil(100, 0, true), std::nullopt);

    e.SetUserEffect({Segment(0, 0, 10000)});  // breathing, speed 0: a step every 8 passes
    EXPECT_EQ(e.PlayUserEffectUntil(100, 0, true), milliseconds(7));
    EXPECT_EQ(e.PlayUserEffectUntil(107, 0, true), milliseconds(8));

    e.SetUserEffect({Segment(2, 4, 10000)});  // flash: a toggle every half-period of the device
    EXPECT_EQ(e.PlayUserEffectUntil(1000, 4, true), milliseconds(200));  // toggled at 1000
    EXPECT_EQ(e.PlayUserEffectUntil(1050, 4, true), milliseconds(150));
    EXPECT_EQ(e.PlayUserEffectUntil(1050, 0, true), milliseconds(1550));  // 1600 ms at speed 0

    e.SetUserEffect({Segment(1, 4, 0)});  // "Time" 0 moves on at every pass
    EXPECT_EQ(e.PlayUserEffectUntil(100, 0, true), milliseconds(1));
}

void ExpectSamePlayer(const CLightEngine& a, const CLightEngine& b, std::uint32_t t) {
    const auto& p = a.Player();
    const auto& q = b.Player();
    ASSERT_EQ(p.segmentIndex, q.segmentIndex) << t;
    ASSERT_EQ(p.segmentStartMs, q.segmentStartMs) << t;
    ASSERT_EQ(p.passCounter, q.passCounter) << t;
    ASSERT_EQ(p.phase, q.phase) << t;
    ASSERT_EQ(p.colourCounter, q.colourCounter) << t;
    ASSERT_EQ(p.segment, q.segment) << t;
    ASSERT_EQ(p.flashOn, q.flashOn) << t;
    ASSERT_EQ(p.flashHue, q.flashHue) << t;
    ASSERT_EQ(p.lastFlashMs, q.lastFlashMs) << t;
    ASSERT_EQ(p.lastPassMs, q.lastPassMs) << t;
    ASSERT_TRUE(std::equal(a.KeyColours().begin(), a.KeyColours().end(), b.KeyColours().begin(),
                           b.KeyColours().end()))
        << t;
}

TEST(UserEffectPlayer, PlayingByDueTimeEqualsAPassEveryMillisecond) {
    // Engine a is played the way the worker plays it (at the due times, sometimes woken earlier
    // or late); engine b gets one pass every millisecond. After every call of a both agree, and
    // b's picture never changes before the time a said its next frame was due.
    std::mt19937 rng(417);
    auto pick = [&rng](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    constexpr std::array<std::uint32_t, 7> kTimes = {0, 1, 2, 9, 40, 130, 700};
    for (int trial = 0; trial < 150; ++trial) {
        std::vector<LightSegment> segments(1 + static_cast<std::size_t>(pick(4)));
        for (LightSegment& s : segments) {
            s = Segment(static_cast<std::uint8_t>(pick(7)), static_cast<std::uint8_t>(pick(5)),
                        kTimes[static_cast<std::size_t>(pick(7))],
                        static_cast<std::uint8_t>(pick(2)), static_cast<std::uint8_t>(pick(2)));
            s.brightness = static_cast<std::uint8_t>(pick(5));
            s.red = static_cast<std::uint8_t>(pick(256));
        }
        const int deviceSpeed = pick(5);
        CLightEngine a(5);
        CLightEngine b(5);
        a.SetHueIndex(40);
        b.SetHueIndex(40);
        a.SetUserEffect(segments);
        b.SetUserEffect(segments);
        // Some trials run across the wrap of the millisecond clock.
        std::uint32_t t = trial % 5 == 0 ? UINT32_MAX - 1500 : 3600000;
        const std::uint32_t end = t + 4000;
        auto next = a.PlayUserEffectUntil(t, deviceSpeed, true);
        b.PlayUserEffect(t, deviceSpeed);
        ExpectSamePlayer(a, b, t);
        if (HasFatalFailure()) {
            return;
        }
        while (static_cast<std::int32_t>(end - t) > 0) {
            ASSERT_TRUE(next.has_value());
            const auto due = static_cast<std::uint32_t>(next->count());
            ASSERT_GE(due, 1u);
            const int how = pick(8);
            const std::uint32_t wait = how < 2   ? 1 + rng() % due         // woken early
                                       : how < 3 ? due + 1 + rng() % 300u  // late
                                                 : due;
            const std::vector<KeyColour> shown(b.KeyColours().begin(), b.KeyColours().end());
            for (std::uint32_t k = 1; k <= wait; ++k) {
                b.PlayUserEffect(t + k, deviceSpeed);
                if (k < due) {
                    ASSERT_TRUE(std::equal(shown.begin(), shown.end(), b.KeyColours().begin(),
                                           b.KeyColours().end()))
                        << "trial " << trial << ": a frame " << k << " ms on, due " << due;
                }
            }
            t += wait;
            next = a.PlayUserEffectUntil(t, deviceSpeed, true);
            ExpectSamePlayer(a, b, t);
            if (HasFatalFailure()) {
                return;
            }
        }
    }
}

}  // namespace
}  // namespace q417
