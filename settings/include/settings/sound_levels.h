// How loud the game plays: a master level and one each for the music (the looping sound) and the
// effects (every sound played once), 0 to 100, and mute. The layer's mixer scales each voice's
// samples by the rule below; the Windows exe hands the same levels to DirectSound in decibels.
#pragma once

#include <cstdint>
#include <optional>

namespace settings {

struct SoundLevels {
    int master = 100;
    int music = 100;
    int effects = 100;
    bool mute = false;

    bool operator==(const SoundLevels&) const = default;
};

constexpr int full_gain = 10000;

// A voice's gain in ten-thousandths: master × music for a looping voice, master × effects for one
// played once; 0 while muted.
int find_voice_gain(const SoundLevels& levels, bool looping);

// The rounding rule: a voice's sample (after the change of rate) times gain / 10000, rounded to the
// nearest whole number, halves away from zero. The voices are then summed and saturated to 16
// bits as before, so at the full gain nothing changes.
inline int32_t scale_sample(int32_t sample, int gain) {
    if (gain == full_gain) return sample;
    const int64_t product = int64_t{sample} * gain;
    const int64_t magnitude = (product < 0 ? -product : product) + full_gain / 2;
    const int64_t rounded = magnitude / full_gain;
    return static_cast<int32_t>(product < 0 ? -rounded : rounded);
}

// The volume keys, which the game never reads: F9 turns the master level down by 10, F10 up by
// 10 (each stopping at 0 and 100, and each ending a mute), F12 mutes and unmutes.
enum class VolumeKey { down, up, mute };
constexpr int volume_step = 10;
std::optional<VolumeKey> find_volume_key(uint8_t scan_code);
SoundLevels apply_volume_key(SoundLevels levels, VolumeKey key);

// DirectSound's volume for a gain: hundredths of a decibel below full, 2000 × log10(gain / 10000)
// rounded to the nearest, from 0 (full) down to -10000 (DSBVOLUME_MIN, silence) for a gain of 0.
long convert_to_directsound_volume(int gain);

// The levels while the game runs: set at the start, changed by the volume keys and the page's
// panel on the game's thread, read by the sound output's own thread.
SoundLevels read_live_levels();
void set_live_levels(const SoundLevels& levels);

}  // namespace settings
