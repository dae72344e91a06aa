#include "settings/sound_levels.h"

#include <algorithm>
#include <atomic>
#include <cmath>

namespace settings {

namespace {

constexpr uint32_t pack(const SoundLevels& levels) {
    return static_cast<uint32_t>(levels.master) | static_cast<uint32_t>(levels.music) << 8 |
           static_cast<uint32_t>(levels.effects) << 16 | (levels.mute ? 1u << 24 : 0u);
}

SoundLevels unpack(uint32_t word) {
    return SoundLevels{static_cast<int>(word & 0xFF), static_cast<int>((word >> 8) & 0xFF),
                       static_cast<int>((word >> 16) & 0xFF), (word >> 24) != 0};
}

int clamp_level(int level) { return std::clamp(level, 0, 100); }

// All four in one word, so the sound thread never sees half a change.
std::atomic<uint32_t> live{pack(SoundLevels{})};

}  // namespace

int find_voice_gain(const SoundLevels& levels, bool looping) {
    if (levels.mute) return 0;
    return clamp_level(levels.master) * clamp_level(looping ? levels.music : levels.effects);
}

std::optional<VolumeKey> find_volume_key(uint8_t scan_code) {
    switch (scan_code) {
    case 0x43: return VolumeKey::down;  // F9
    case 0x44: return VolumeKey::up;    // F10
    case 0x58: return VolumeKey::mute;  // F12
    default: return std::nullopt;
    }
}

SoundLevels apply_volume_key(SoundLevels levels, VolumeKey key) {
    switch (key) {
    case VolumeKey::down:
        levels.master = clamp_level(levels.master - volume_step);
        levels.mute = false;
        break;
    case VolumeKey::up:
        levels.master = clamp_level(levels.master + volume_step);
        levels.mute = false;
        break;
    case VolumeKey::mute: levels.mute = !levels.mute; break;
    }
    return levels;
}

long convert_to_directsound_volume(int gain) {
    if (gain <= 0) return -10000;
    if (gain >= full_gain) return 0;
    const long volume = std::lround(2000.0 * std::log10(static_cast<double>(gain) / full_gain));
    return std::max(volume, -10000L);
}

SoundLevels read_live_levels() { return unpack(live.load(std::memory_order_relaxed)); }

void set_live_levels(const SoundLevels& levels) {
    SoundLevels kept = levels;
    kept.master = clamp_level(kept.master);
    kept.music = clamp_level(kept.music);
    kept.effects = clamp_level(kept.effects);
    live.store(pack(kept), std::memory_order_relaxed);
}

}  // namespace settings
