// Sound effects and music through DirectSound 8, loaded from RIFF/WAVE files.
#pragma once

#include <windows.h>
#include <mmsystem.h>
#include <dsound.h>

// One buffer per sound; null while nothing is loaded, and then every play is silent.
struct SoundBuffer {
    IDirectSoundBuffer8* buffer;
};

void init_sound();
void load_sound(const char* path, SoundBuffer& sound);
void play_sound(const SoundBuffer& sound);
void play_sound_looped(const SoundBuffer& sound);
