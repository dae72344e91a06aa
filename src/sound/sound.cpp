#include "sound/sound.h"

// Placeholder until this module lands.
void init_sound() {}
void load_sound(const char*, SoundBuffer&) {}
void play_sound(const SoundBuffer&) {}
void play_sound_looped(const SoundBuffer&) {}
