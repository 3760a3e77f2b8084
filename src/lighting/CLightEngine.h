#pragma once
// The software light engine of one device object: computes the colour of every LED for the
// current light setting so the device picture can show the effect (and a keyboard in direct mode
// can stream it). Not thread-safe by itself: the device calls it under its light lock.
#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <random>
#include <span>
#include <vector>

#include "lighting/LightState.h"
#include "profiles/ProfileRecords.h"

namespace q417 {

class CLightEngine {
public:
    static constexpr std::size_t kRingLength = 23;
    // Keys lit from the ring (LightKeysFromRing): the first nine.
    static constexpr std::size_t kRingKeys = 9;
    // The mouse's 15 LEDs form seven positions for its wave and ripple.
    static constexpr std::size_t kMousePositions = 7;

    enum class Reaction : std::uint8_t { Idle = 0, Rising = 1, Falling = 2 };

    // The state of the user-effect player (one per engine, so two devices never share it).
    struct PlayerState {
        std::size_t segmentIndex = 0;
        std::uint32_t segmentStartMs = 0;
        bool segmentTimed = false;  // segmentStartMs holds the start of the current segment
        std::uint8_t passCounter = 0;
        std::uint8_t phase = 0;
        std::uint8_t colourCounter = 0;  // cycles 0, 1, 2 at every wrap of the phase
        LightSegment segment{};          // copy of the segment being played
        bool flashOn = false;
        std::uint8_t flashHue = 0;
        std::uint32_t lastFlashMs = 0;
        std::uint32_t lastPassMs = 0;  // time of the last pass
        bool paced = false;            // lastPassMs holds it and the passes since may be played
        bool segmentPending = false;   // the last pass moved on: no pass has shown this segment
    };

    explicit CLightEngine(std::size_t ledCount);

    // Changes the number of LEDs; new entries start dark and idle, kept ones keep their state.
    void Resize(std::size_t ledCount);
    std::size_t LedCount() const { return m_keyColours.size(); }

    const LightState& Light() const { return m_light; }
    void SetLight(const LightState& light) { m_light = light; }

    // ---- base steps (every device) ----
    void AnimateBreathing();
    void AnimateBreathingPalette();
    void AnimateStatic();
    void AnimateColourCycle();
    void AnimateFlash(std::uint32_t nowMs);
    void AnimateFlashPalette(std::uint32_t nowMs);
    void AnimateOff();

    // ---- the mouse's own steps ----
    void AnimateWave();
    void AnimateRipple(int effectCode);
    void AnimateReactive();

    // A key press for the reactive effect: every LED starts rising with a random hue 0-191.
    void StartReactionAll();
    void SeedRandom(std::uint32_t seed) { m_random.seed(seed); }

    // Lowers one reaction level by the schedule of `schedule` (the current effect code).
    void FadeKey(int index, int schedule);
    // Keys 0-8 whose ring entry is set get level 255.
    void LightKeysFromRing();
    // Forward moves entry i to i + 1 (the last to 0); backward the other way.
    void RotateRing(bool forward);
    // Zeroes every reaction level, reaction state and the ring.
    void ClearReactive();

    // Out of range: nothing stored / a zero colour.
    void SetKeyColour(int index, KeyColour colour);
    KeyColour GetKeyColour(int index) const;
    std::span<const KeyColour> KeyColours() const { return m_keyColours; }

    // Replaces the user effect's segments and starts it from its first segment.
    void SetUserEffect(std::vector<LightSegment> segments);
    const std::vector<LightSegment>& UserEffect() const { return m_segments; }
    // One pass of the player at nowMs; deviceSpeed times the flash segment's half-period.
    void PlayUserEffect(std::uint32_t nowMs, int deviceSpeed);
    // The player as the light worker runs it: the effect is designed for one pass per
    // millisecond, its segment times and periods counted in those passes. Plays, each at its own
    // time, the pass of every millisecond after the last pass up to nowMs, and paints the
    // result; a pass already played at nowMs is not played again. When `continued` is false
    // (the player did not run since its last pass: the worker was parked or showed another
    // effect), after SetUserEffect, on the first call and when nowMs lies 2^31 ms or more after
    // the last pass (time went back), only the pass at nowMs is played.
    // Returns the time from nowMs to the next pass that can change the picture (at least 1 ms),
    // or nullopt when none can until the effect or the settings change: the worker sleeps
    // until then instead of running a pass every millisecond.
    std::optional<std::chrono::milliseconds> PlayUserEffectUntil(std::uint32_t nowMs,
                                                                 int deviceSpeed, bool continued);
    const PlayerState& Player() const { return m_player; }

    // ---- state access (the device's snapshot, tests) ----
    std::uint8_t Level(int index) const;
    void SetLevel(int index, std::uint8_t level);
    Reaction ReactionOf(int index) const;
    std::uint8_t KeyHue(int index) const;
    const std::array<std::uint8_t, kRingLength>& Ring() const { return m_ring; }
    void SetRingEntry(int index, std::uint8_t value);

    std::uint8_t AnimationPhase() const { return m_animationPhase; }
    void SetAnimationPhase(std::uint8_t phase) { m_animationPhase = phase; }
    std::uint8_t HueIndex() const { return m_hueIndex; }
    void SetHueIndex(std::uint8_t hue) { m_hueIndex = hue; }
    bool FlashOn() const { return m_flashOn; }
    std::uint32_t LastFlashMs() const { return m_lastFlashMs; }
    std::uint8_t PaletteIndex() const { return m_paletteIndex; }

private:
    void FillAll(KeyColour colour);
    void SetLed(std::size_t led, KeyColour colour);
    bool StepPhase(
        int limit);  // steps animationPhase in the light's direction; true on a wrap to 0
    std::uint8_t Alpha() const;
    KeyColour FixedColour(std::uint8_t alpha) const;
    bool FlashDue(std::uint32_t nowMs);
    // The user-effect player: `count` passes, the first at firstMs and one per millisecond after.
    void PlayPasses(std::uint32_t firstMs, std::uint64_t count, int deviceSpeed);
    // `count` passes of one segment in one go (PlayPasses moves on after the last if due).
    void AdvanceSegment(const LightSegment& seg, std::uint32_t firstMs, std::uint64_t count,
                        int deviceSpeed);
    // The counter and phase after `count` passes with a step whenever the counter reaches
    // `period`; limit 0: the counter only.
    void AdvanceSteps(int period, std::uint64_t count, int limit, bool countColours);
    void AdvancePhase(int limit, std::uint64_t steps, bool countColours);
    void PaintSegment(const LightSegment& seg);
    std::optional<std::chrono::milliseconds> NextUserFrame(int deviceSpeed) const;

    LightState m_light{};
    std::vector<KeyColour> m_keyColours;
    std::vector<std::uint8_t> m_levels;
    std::vector<Reaction> m_reaction;
    std::vector<std::uint8_t> m_keyHues;
    std::array<std::uint8_t, kRingLength> m_ring{};
    std::uint8_t m_animationPhase = 0;
    std::uint8_t m_hueIndex = 0;
    bool m_flashOn = false;
    std::uint32_t m_lastFlashMs = 0;
    std::uint8_t m_paletteIndex = 0;
    std::mt19937 m_random;

    std::vector<LightSegment> m_segments;
    PlayerState m_player;
};

}  // namespace q417
