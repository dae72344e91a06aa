// DirectSound 8 in the browser: the desktop's buffers and mixer (dsound_buffers.cpp), pulled
// by a Web Audio script processor on the page's own thread. Browsers let a page start sound
// only after a key or a click, and making the audio context costs a quarter of a second, so
// it is made at the first one; until then the buffers play to nobody.
#include <emscripten.h>

#include <cstdint>
#include <cstdio>

#include <dsound.h>
#include <headless.h>

#include "dsound_buffers.h"
#include "web.h"

namespace {

// About 21 ms at 48 kHz: the processor runs between the game's frames, so a block must
// outlast a frame or two with room to spare.
constexpr int BLOCK_FRAMES = 1024;
constexpr int CHANNELS = 2;

audio::SoundDevice* playing_device = nullptr;
int16_t block[BLOCK_FRAMES * CHANNELS];

EM_JS(int, has_web_audio, (), { return (window.AudioContext || window.webkitAudioContext) ? 1 : 0; });

// Makes the page's audio context and a script processor pulling from the mixer; returns the
// output's rate, or 0 when that fails.
EM_JS(int, open_web_audio, (int block_frames), {
    var Context = window.AudioContext || window.webkitAudioContext;
    if (!Context) return 0;
    try {
        var context = new Context();
        var node = context.createScriptProcessor(block_frames, 0, 2);
        node.onaudioprocess = function(event) {
            var left = event.outputBuffer.getChannelData(0);
            var right = event.outputBuffer.getChannelData(1);
            var frames = left.length;
            var samples = Module._zorvalen_mix_audio(frames) >> 1;
            for (var i = 0; i < frames; ++i) {
                left[i] = HEAP16[samples + 2 * i] / 32768;
                right[i] = HEAP16[samples + 2 * i + 1] / 32768;
            }
        };
        node.connect(context.destination);
        var sound = {context: context, node: node, started: false};
        // A hidden tab freezes the game; its sound stops with it and comes back with it.
        document.addEventListener('visibilitychange', function() {
            if (document.hidden) context.suspend();
            else if (sound.started) context.resume();
        });
        context.onstatechange = function() {
            if (context.state == 'running') sound.started = true;
        };
        Module.zorvalenSound = sound;
        return context.sampleRate;
    } catch (error) {
        return 0;
    }
});

}  // namespace

extern "C" {

// Called by the script processor for each block it needs; returns the mixed samples.
EMSCRIPTEN_KEEPALIVE int16_t* zorvalen_mix_audio(int frames) {
    if (frames > BLOCK_FRAMES) frames = BLOCK_FRAMES;
    if (playing_device != nullptr) playing_device->render(block, static_cast<size_t>(frames));
    return block;
}
}

namespace web {

void start_audio_from_gesture() {
    if (playing_device == nullptr) return;
    static bool opened = false;
    if (!opened) {
        opened = true;
        const int rate = open_web_audio(BLOCK_FRAMES);
        if (rate > 0) playing_device->set_output_format({CHANNELS, static_cast<uint32_t>(rate)});
        return;
    }
    EM_ASM({
        var sound = Module.zorvalenSound;
        // Safari calls a context the system took away (a call, the page in the background) interrupted.
        var stopped = sound && (sound.context.state == 'suspended' || sound.context.state == 'interrupted');
        if (stopped && !document.hidden) sound.context.resume();
    });
}

}  // namespace web

HRESULT WINAPI DirectSoundCreate8(LPCGUID device, LPDIRECTSOUND8* out, LPUNKNOWN outer) {
    if (out == nullptr) return DSERR_INVALIDPARAM;
    *out = nullptr;
    if (outer != nullptr) return DSERR_NOAGGREGATION;
    if (device != nullptr && *device != GUID_NULL) return DSERR_NODRIVER;
    // Tests and the replay runner must not depend on, or make, any sound.
    if (headless::mode() != headless::Mode::off || playing_device != nullptr) return DSERR_NODRIVER;
    if (!has_web_audio()) {
        std::fprintf(stderr, "Zorvalen: no sound in this browser; playing silent.\n");
        return DSERR_NODRIVER;
    }
    // The usual rate of a browser's output until the real one is known.
    playing_device = new audio::SoundDevice({CHANNELS, 48000});
    // The script processor keeps its own reference: it plays for as long as the page lives.
    playing_device->AddRef();
    *out = playing_device;
    return DS_OK;
}
