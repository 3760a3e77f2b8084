#include "lighting/CLightEngine.h"

#include <algorithm>
#include <initializer_list>

#include "lighting/LightTables.h"

namespace q417 {

namespace {

// The mouse's seven positions, each a group of LED indices (the two sides meet at the logo, 14).
constexpr std::size_t kMaxLedsPerPosition = 3;
struct Position {
    std::array<std::size_t, kMaxLedsPerPosition> leds;
    std::size_t count;
};
constexpr std::array<Position, CLightEngine::kMousePositions> kMousePositionLeds = {{
    {{0, 13, 0}, 2},
    {{1, 12, 0}, 2},
    {{2, 11, 0}, 2},
    {{3, 10, 0}, 2},
    {{4, 9, 0}, 2},
    {{5, 8, 0}, 2},
    {{6, 14, 7}, 3},
}};

constexpr int kBreathLimit = static_cast<int>(kBreathRampLength);
constexpr int kHueLimit = static_cast<int>(kColourWheelHues);
constexpr int kWaveLimit = static_cast<int>(kWaveRampLength);
constexpr int kReactiveStep = 15;
constexpr int kRippleHueStep = 12;
constexpr int kWaveHueStep = 7;

// colour × scale ÷ 256, the alpha rule every step shares.
std::uint8_t Scaled(int level, int scale) {
    return static_cast<std::uint8_t>(level * scale / 256);
}

KeyColour WithAlpha(Rgb c, std::uint8_t alpha) {
    return KeyColour{c.r, c.g, c.b, alpha};
}

int FadeStep(int level, int schedule) {
    struct Rule {
        int atLeast;
        int minus;
    };
    // First matching rule wins; the last two rules of each schedule are "above 16" and "above 0".
    static constexpr std::array<Rule, 5> kSchedule0 = {
        {{128, 40}, {64, 30}, {32, 15}, {17, 8}, {1, 1}}};
    static constexpr std::array<Rule, 9> kSchedule29 = {
        {{144, 45}, {128, 40}, {112, 35}, {96, 30}, {80, 25}, {64, 20}, {32, 10}, {17, 5}, {1, 1}}};
    static constexpr std::array<Rule, 5> kScheduleOther = {
        {{128, 40}, {64, 30}, {32, 10}, {17, 8}, {1, 1}}};
    auto apply = [level](auto const& rules) {
        for (const Rule& r : rules) {
            if (level >= r.atLeast) {
                return level - r.minus;
            }
        }
        return level;
    };
    if (schedule == 0) {
        return apply(kSchedule0);
    }
    if (schedule == 29) {
        return apply(kSchedule29);
    }
    return apply(kScheduleOther);
}

}  // namespace

CLightEngine::CLightEngine(std::size_t ledCount) : m_random(std::random_device{}()) {
    Resize(ledCount);
}

void CLightEngine::Resize(std::size_t ledCount) {
    m_keyColours.resize(ledCount);
    // The ring lights keys 0-8 whatever the LED count, so the levels cover at least those.
    const std::size_t levels = std::max(ledCount, kRingKeys);
    m_levels.resize(levels, 0);
    m_reaction.resize(levels, Reaction::Idle);
    m_keyHues.resize(levels, 0);
}

// ---- helpers ---------------------------------------------------------------------------------

void CLightEngine::FillAll(KeyColour colour) {
    std::fill(m_keyColours.begin(), m_keyColours.end(), colour);
}

void CLightEngine::SetLed(std::size_t led, KeyColour colour) {
    if (led < m_keyColours.size()) {
        m_keyColours[led] = colour;
    }
}

bool CLightEngine::StepPhase(int limit) {
    // A phase left by another effect may lie beyond this limit: bring it into range first.
    int p = m_animationPhase % limit;
    if (m_light.direction == 1) {
        p = p + 1 == limit ? 0 : p + 1;
    } else {
        p = p == 0 ? limit - 1 : p - 1;
    }
    m_animationPhase = static_cast<std::uint8_t>(p);
    return p == 0;
}

std::uint8_t CLightEngine::Alpha() const {
    return LightLevel(m_light.brightness);
}

KeyColour CLightEngine::FixedColour(std::uint8_t alpha) const {
    return KeyColour{m_light.red, m_light.green, m_light.blue, alpha};
}

bool CLightEngine::FlashDue(std::uint32_t nowMs) {
    // Unsigned difference: the millisecond clock may wrap.
    if (nowMs - m_lastFlashMs < FlashHalfPeriodMs(m_light.speed)) {
        return false;
    }
    m_lastFlashMs = nowMs;
    return true;
}

// ---- base steps --------------------------------------------------------------------------------

void CLightEngine::AnimateBreathing() {
    if (StepPhase(kBreathLimit)) {
        int hue = m_hueIndex + 16;
        m_hueIndex = static_cast<std::uint8_t>(hue > kHueLimit ? 0 : hue);
    }
    const auto alpha = Scaled(BreathRamp128()[m_animationPhase], Alpha());
    FillAll(m_light.multiColour != 0 ? WithAlpha(WheelColour(m_hueIndex), alpha)
                                     : FixedColour(alpha));
}

void CLightEngine::AnimateBreathingPalette() {
    if (StepPhase(kBreathLimit)) {
        m_paletteIndex = static_cast<std::uint8_t>((m_paletteIndex + 1) % kPaletteEntries);
    }
    const auto alpha = Scaled(BreathRamp128()[m_animationPhase], Alpha());
    FillAll(WithAlpha(LightPalette()[m_paletteIndex % kPaletteEntries], alpha));
}

void CLightEngine::AnimateStatic() {
    FillAll(FixedColour(Alpha()));
}

void CLightEngine::AnimateColourCycle() {
    StepPhase(kHueLimit);
    FillAll(WithAlpha(WheelColour(m_animationPhase), Alpha()));
}

void CLightEngine::AnimateFlash(std::uint32_t nowMs) {
    if (FlashDue(nowMs)) {
        m_flashOn = !m_flashOn;
        const int phase = m_animationPhase + 16;
        m_animationPhase = static_cast<std::uint8_t>(phase >= kHueLimit ? 0 : phase);
    }
    if (!m_flashOn) {
        FillAll(KeyColour{});
        return;
    }
    FillAll(m_light.multiColour != 0 ? WithAlpha(WheelColour(m_animationPhase), Alpha())
                                     : FixedColour(Alpha()));
}

void CLightEngine::AnimateFlashPalette(std::uint32_t nowMs) {
    if (FlashDue(nowMs)) {
        m_flashOn = !m_flashOn;
        m_animationPhase = static_cast<std::uint8_t>((m_animationPhase + 1) % kPaletteEntries);
    }
    if (!m_flashOn) {
        FillAll(KeyColour{});
        return;
    }
    FillAll(WithAlpha(LightPalette()[m_animationPhase % kPaletteEntries], Alpha()));
}

void CLightEngine::AnimateOff() {
    FillAll(KeyColour{});
}

// ---- the mouse's steps -------------------------------------------------------------------------

void CLightEngine::AnimateWave() {
    const std::uint8_t level = Alpha();
    if (m_light.multiColour != 0) {
        StepPhase(kHueLimit);
        int hue = (m_animationPhase + 1) % kHueLimit;
        for (const Position& pos : kMousePositionLeds) {
            for (std::size_t k = 0; k < pos.count; ++k) {
                SetLed(pos.leds[k], WithAlpha(WheelColour(hue), level));
            }
            hue = (hue + kWaveHueStep) % kHueLimit;
        }
        return;
    }
    StepPhase(kWaveLimit);
    int i = (m_animationPhase + 1) % kWaveLimit;
    for (const Position& pos : kMousePositionLeds) {
        const auto alpha = Scaled(level, WaveRamp96()[static_cast<std::size_t>(i)]);
        for (std::size_t k = 0; k < pos.count; ++k) {
            SetLed(pos.leds[k], FixedColour(alpha));
        }
        i = (i + kWaveHueStep) % kWaveLimit;
    }
}

void CLightEngine::AnimateRipple(int effectCode) {
    const bool forward = m_light.direction == 1;
    StepPhase(kHueLimit);
    // Nothing else feeds the ring on a mouse: when it is empty a new ripple starts at the edge
    // it runs away from, so the effect keeps moving instead of staying dark.
    if (std::all_of(m_ring.begin(), m_ring.end(), [](std::uint8_t e) { return e == 0; })) {
        m_ring[forward ? 0 : kRingKeys - 1] = 1;
    }
    LightKeysFromRing();
    RotateRing(forward);

    const std::uint8_t level = Alpha();
    const int edge = forward ? 0 : static_cast<int>(kMousePositions) - 1;
    for (std::size_t i = 0; i < kMousePositions; ++i) {
        const int index = static_cast<int>(i);
        FadeKey(index, effectCode);
        const Position& pos = kMousePositionLeds[i];
        KeyColour colour = FixedColour(0);
        if (m_light.multiColour != 0) {
            m_animationPhase =
                static_cast<std::uint8_t>((m_animationPhase + kRippleHueStep) % kHueLimit);
            const std::size_t first = pos.leds[0];
            if (Level(edge) != 0 && first < m_keyColours.size()) {
                // A ripple under way keeps its colour until it has left the edge.
                const KeyColour& kept = m_keyColours[first];
                colour = KeyColour{kept.red, kept.green, kept.blue, 0};
            } else {
                colour = WithAlpha(WheelColour(m_animationPhase), 0);
            }
        }
        colour.alpha = Scaled(level, Level(index));
        for (std::size_t k = 0; k < pos.count; ++k) {
            SetLed(pos.leds[k], colour);
        }
    }
}

void CLightEngine::AnimateReactive() {
    const std::uint8_t level = Alpha();
    for (std::size_t i = 0; i < m_levels.size(); ++i) {
        int l = m_levels[i];
        if (m_reaction[i] == Reaction::Rising) {
            l = std::min(255, l + kReactiveStep);
            if (l == 255) {
                m_reaction[i] = Reaction::Falling;
            }
        } else if (m_reaction[i] == Reaction::Falling) {
            l = std::max(0, l - kReactiveStep);
            if (l == 0) {
                m_reaction[i] = Reaction::Idle;
            }
        }
        m_levels[i] = static_cast<std::uint8_t>(l);
        if (i >= m_keyColours.size()) {
            continue;
        }
        const auto alpha = Scaled(level, l);
        m_keyColours[i] = m_light.multiColour != 0 ? WithAlpha(WheelColour(m_keyHues[i]), alpha)
                                                   : FixedColour(alpha);
    }
}

void CLightEngine::StartReactionAll() {
    std::uniform_int_distribution<int> hue(0, kHueLimit - 1);
    for (std::size_t i = 0; i < m_levels.size(); ++i) {
        // The level keeps its value: a press during a fade rises again from where it is.
        m_reaction[i] = Reaction::Rising;
        m_keyHues[i] = static_cast<std::uint8_t>(hue(m_random));
    }
}

// ---- reactive helpers --------------------------------------------------------------------------

void CLightEngine::FadeKey(int index, int schedule) {
    if (index < 0 || static_cast<std::size_t>(index) >= m_levels.size()) {
        return;
    }
    auto& level = m_levels[static_cast<std::size_t>(index)];
    level = static_cast<std::uint8_t>(FadeStep(level, schedule));
}

void CLightEngine::LightKeysFromRing() {
    for (std::size_t k = 0; k < kRingKeys && k < m_levels.size(); ++k) {
        if (m_ring[k] != 0) {
            m_levels[k] = 255;
        }
    }
}

void CLightEngine::RotateRing(bool forward) {
    if (forward) {
        std::rotate(m_ring.rbegin(), m_ring.rbegin() + 1, m_ring.rend());
    } else {
        std::rotate(m_ring.begin(), m_ring.begin() + 1, m_ring.end());
    }
}

void CLightEngine::ClearReactive() {
    std::fill(m_levels.begin(), m_levels.end(), 0);
    std::fill(m_reaction.begin(), m_reaction.end(), Reaction::Idle);
    m_ring.fill(0);
}

// ---- key colours and state access ---------------------------------------------------------------

void CLightEngine::SetKeyColour(int index, KeyColour colour) {
    if (index >= 0) {
        SetLed(static_cast<std::size_t>(index), colour);
    }
}

KeyColour CLightEngine::GetKeyColour(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= m_keyColours.size()) {
        return KeyColour{};
    }
    return m_keyColours[static_cast<std::size_t>(index)];
}

std::uint8_t CLightEngine::Level(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= m_levels.size()) {
        return 0;
    }
    return m_levels[static_cast<std::size_t>(index)];
}

void CLightEngine::SetLevel(int index, std::uint8_t level) {
    if (index >= 0 && static_cast<std::size_t>(index) < m_levels.size()) {
        m_levels[static_cast<std::size_t>(index)] = level;
    }
}

CLightEngine::Reaction CLightEngine::ReactionOf(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= m_reaction.size()) {
        return Reaction::Idle;
    }
    return m_reaction[static_cast<std::size_t>(index)];
}

std::uint8_t CLightEngine::KeyHue(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= m_keyHues.size()) {
        return 0;
    }
    return m_keyHues[static_cast<std::size_t>(index)];
}

void CLightEngine::SetRingEntry(int index, std::uint8_t value) {
    if (index >= 0 && static_cast<std::size_t>(index) < m_ring.size()) {
        m_ring[static_cast<std::size_t>(index)] = value;
    }
}

// ---- user effect player ------------------------------------------------------------------------
//
// A pass, as PlayUserEffect runs it: the counter goes up by one and the segment's effect runs
// (breathing, static, wave: a step when the counter reaches the segment's period; flash: a phase
// step on every pass and a toggle every half-period; colour cycle: a step at its own period);
// a counter of 255 restarts at 0; then the segment moves on when more than its "Time" ms have
// passed since its start ("Time" 0: at every pass). The effect is designed for one pass per
// millisecond. Passes of one segment change the state in a way that is worked out for any
// number of them at once, so the worker need not run a pass every millisecond: it plays the
// passes due since the last one when the next frame is due (PlayUserEffectUntil).

namespace {

constexpr std::uint64_t kNoPass = UINT64_MAX;
// The worker plays a running user effect at least once an hour: a time 2^31 ms (24 days) or more
// after the last pass is taken for one before it.
constexpr std::uint32_t kTimeWentBack = 0x80000000u;

// Of the passes still to come in a segment, the number before the one after which it moves
// on, when the first of them is `since` ms after the segment's start; kNoPass when it never
// does (a "Time" of 2^32 − 1 is never exceeded by an unsigned difference).
std::uint64_t PassesBeforeMoveOn(std::uint32_t timeMs, std::uint32_t since) {
    if (timeMs == 0 || since > timeMs) {
        return 0;
    }
    if (timeMs == UINT32_MAX) {
        return kNoPass;
    }
    return static_cast<std::uint64_t>(timeMs - since) + 1;
}

// Passes from the current one to the next whose counter reaches `period` (0 acts as 1).
std::uint64_t PassesToStep(int period, std::uint8_t counter) {
    const std::uint64_t p = static_cast<std::uint64_t>(std::max(period, 1));
    return counter + 1u >= p ? 1 : p - counter;
}

}  // namespace

void CLightEngine::SetUserEffect(std::vector<LightSegment> segments) {
    m_segments = std::move(segments);
    m_player.segmentIndex = 0;
    m_player.segmentTimed = false;
    m_player.segmentPending = false;
    m_player.paced = false;
}

void CLightEngine::PlayUserEffect(std::uint32_t nowMs, int deviceSpeed) {
    if (m_segments.empty()) {
        AnimateOff();
        return;
    }
    PlayPasses(nowMs, 1, deviceSpeed);
}

std::optional<std::chrono::milliseconds> CLightEngine::PlayUserEffectUntil(std::uint32_t nowMs,
                                                                           int deviceSpeed,
                                                                           bool continued) {
    PlayerState& p = m_player;
    if (m_segments.empty()) {
        AnimateOff();
        p.paced = false;
        return std::nullopt;
    }
    // Unsigned difference: the millisecond clock may wrap.
    const std::uint32_t due = nowMs - p.lastPassMs;
    if (!continued || !p.paced || due >= kTimeWentBack) {
        PlayPasses(nowMs, 1, deviceSpeed);
    } else if (due != 0) {
        PlayPasses(p.lastPassMs + 1, due, deviceSpeed);
    }
    return NextUserFrame(deviceSpeed);
}

void CLightEngine::PlayPasses(std::uint32_t firstMs, std::uint64_t count, int deviceSpeed) {
    PlayerState& p = m_player;
    std::uint64_t done = 0;
    while (done < count) {
        if (p.segmentIndex >= m_segments.size()) {
            p.segmentIndex = 0;
        }
        p.segment = m_segments[p.segmentIndex];
        const LightSegment& seg = p.segment;
        const auto t = static_cast<std::uint32_t>(firstMs + done);
        if (!p.segmentTimed) {
            p.segmentStartMs = t;
            p.segmentTimed = true;
        }
        // This segment's passes, up to the one after which it moves on.
        const std::uint64_t before = PassesBeforeMoveOn(seg.time, t - p.segmentStartMs);
        const std::uint64_t left = count - done;
        const bool movesOn = before < left;
        const std::uint64_t n = movesOn ? before + 1 : left;
        AdvanceSegment(seg, t, n, deviceSpeed);
        PaintSegment(seg);
        done += n;
        p.lastPassMs = static_cast<std::uint32_t>(t + (n - 1));
        p.segmentPending = movesOn;
        if (movesOn) {
            p.segmentIndex = (p.segmentIndex + 1) % m_segments.size();
            p.segmentStartMs = p.lastPassMs;
        }
    }
    p.paced = true;
}

void CLightEngine::AdvancePhase(int limit, std::uint64_t steps, bool countColours) {
    PlayerState& p = m_player;
    // The phase may come from a segment with a longer cycle: it is reduced first.
    const std::uint64_t total = p.phase % limit + steps;
    p.phase = static_cast<std::uint8_t>(total % static_cast<std::uint64_t>(limit));
    if (countColours) {
        // The colour counter cycles 0, 1, 2 at every wrap of the phase to 0.
        const std::uint64_t wraps = total / static_cast<std::uint64_t>(limit);
        p.colourCounter = static_cast<std::uint8_t>((p.colourCounter + wraps % 3) % 3);
    }
}

void CLightEngine::AdvanceSteps(int period, std::uint64_t count, int limit, bool countColours) {
    PlayerState& p = m_player;
    const std::uint64_t first = PassesToStep(period, p.passCounter);
    if (count < first) {
        // Below the period (at most 16), so the counter stays far from 255.
        p.passCounter = static_cast<std::uint8_t>(p.passCounter + count);
        return;
    }
    const std::uint64_t every = static_cast<std::uint64_t>(std::max(period, 1));
    p.passCounter = static_cast<std::uint8_t>((count - first) % every);
    if (limit > 0) {
        AdvancePhase(limit, 1 + (count - first) / every, countColours);
    }
}

void CLightEngine::AdvanceSegment(const LightSegment& seg, std::uint32_t firstMs,
                                  std::uint64_t count, int deviceSpeed) {
    PlayerState& p = m_player;
    const int period = StepPeriod(seg.speed);
    switch (seg.mode) {
        case 0:  // breathing
            AdvanceSteps(period, count, kBreathLimit, true);
            break;
        case 1:  // static
            AdvanceSteps(period, count, 9, true);
            break;
        case 2: {  // flash
            // The counter restarts at the period without a step; the phase steps every pass.
            const std::uint8_t phase0 = static_cast<std::uint8_t>(p.phase % kBreathLimit);
            AdvanceSteps(period, count, 0, false);
            AdvancePhase(kBreathLimit, count, true);
            // A toggle on the pass at least a half-period after the last one.
            const std::uint64_t half = std::max<std::uint32_t>(FlashHalfPeriodMs(deviceSpeed), 1);
            const std::uint32_t since = firstMs - p.lastFlashMs;  // at the first pass
            const std::uint64_t first = since >= half ? 0 : half - since;
            if (first < count) {
                const std::uint64_t toggles = 1 + (count - 1 - first) / half;
                const std::uint64_t last = first + (toggles - 1) * half;
                if (toggles % 2 != 0) {
                    p.flashOn = !p.flashOn;
                }
                // The phase after that pass, + 14.
                p.flashHue = static_cast<std::uint8_t>((phase0 + last + 1) % kBreathLimit + 14);
                p.lastFlashMs = static_cast<std::uint32_t>(firstMs + last);
            }
            break;
        }
        case 4:  // wave
            AdvanceSteps(period, count, kHueLimit, false);
            break;
        case 5:  // colour cycle
            AdvanceSteps(PlayerCyclePeriod(seg.speed), count, kHueLimit, false);
            break;
        default:
            // Nothing steps; the counter restarts at 0 when it reaches 255.
            p.passCounter = static_cast<std::uint8_t>((p.passCounter + count) % 255);
            break;
    }
}

void CLightEngine::PaintSegment(const LightSegment& seg) {
    const PlayerState& p = m_player;
    const std::uint8_t level = LightLevel(seg.brightness);
    const KeyColour segColour{seg.red, seg.green, seg.blue, level};
    switch (seg.mode) {
        case 0: {  // breathing
            const auto alpha = Scaled(BreathRamp128()[p.phase % kBreathRampLength], level);
            FillAll(seg.multiColor != 0 ? WithAlpha(WheelColour(m_hueIndex), alpha)
                                        : KeyColour{seg.red, seg.green, seg.blue, alpha});
            break;
        }
        case 1:  // static
            FillAll(segColour);
            break;
        case 2:  // flash
            if (!p.flashOn) {
                FillAll(KeyColour{});
            } else {
                FillAll(seg.multiColor != 0 ? WithAlpha(WheelColour(p.flashHue), level)
                                            : segColour);
            }
            break;
        case 4: {  // wave
            int d = p.phase + 1 >= kHueLimit ? 0 : p.phase + 1;
            if (seg.direction == 1) {
                d = std::min((256 - (p.phase + 64) % 256) % 256, kHueLimit - 1);
            }
            for (KeyColour& led : m_keyColours) {
                if (seg.multiColor != 0) {
                    led = WithAlpha(WheelColour(d), level);
                    d = (d + 12) % kHueLimit;
                } else {
                    // d can start above the ramp (up to 191): keep it inside.
                    d = (d + 12) % kWaveLimit;
                    led = KeyColour{seg.red, seg.green, seg.blue,
                                    Scaled(level, WaveRamp96()[static_cast<std::size_t>(d)])};
                }
            }
            break;
        }
        case 5:  // colour cycle
            FillAll(WithAlpha(WheelColour(p.phase), level));
            break;
        default:
            break;  // nothing new is shown
    }
}

std::optional<std::chrono::milliseconds> CLightEngine::NextUserFrame(int deviceSpeed) const {
    const PlayerState& p = m_player;
    if (p.segmentPending) {
        return std::chrono::milliseconds(1);  // the next pass shows the next segment
    }
    const LightSegment& seg = p.segment;
    // In passes after the last one (the pass k ms later is the k-th).
    std::uint64_t next = kNoPass;
    const std::uint64_t before = PassesBeforeMoveOn(seg.time, p.lastPassMs + 1 - p.segmentStartMs);
    if (before != kNoPass) {
        next = before + 2;  // the pass after the one that moves on shows the next segment
    }
    switch (seg.mode) {
        case 0:  // breathing
        case 4:  // wave
            next = std::min(next, PassesToStep(StepPeriod(seg.speed), p.passCounter));
            break;
        case 5:  // colour cycle
            next = std::min(next, PassesToStep(PlayerCyclePeriod(seg.speed), p.passCounter));
            break;
        case 2: {  // flash: only a toggle changes the picture
            const std::uint64_t half = std::max<std::uint32_t>(FlashHalfPeriodMs(deviceSpeed), 1);
            // Unsigned difference at the next pass, as that pass will take it.
            const std::uint32_t since = p.lastPassMs + 1 - p.lastFlashMs;
            next = std::min<std::uint64_t>(next, since >= half ? 1 : half - since + 1);
            break;
        }
        default:
            break;  // static and the others: the same picture until the segment moves on
    }
    if (next == kNoPass) {
        return std::nullopt;
    }
    return std::chrono::milliseconds(static_cast<std::chrono::milliseconds::rep>(next));
}

}  // namespace q417
