// Pictures and sounds that arrive after the game has started (page/assets.js). The title needs
// one picture and the font; the rest are unpacked while the title runs.

// Pictures. Until a picture has arrived the game
// reads a stand-in file of the picture's size, every pixel one colour no picture of the game
// has (with no alpha), so the texture the game makes of it is known by its size and that colour;
// the picture's own pixels replace the stand-in's when it lands. A frame drawn from a texture
// still waiting is held back by the canvas (canvas_output.cpp) until it has landed.
#include "late_assets.h"

#include <emscripten.h>

#include <cstdint>
#include <cstring>

#include "device_state.h"
#include "dsound_buffers.h"
#include "replays/replay_session.h"

// Only TGA, and static: the game has its own copy of the decoder, which the platform may not see.
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_TGA
#define STBI_NO_STDIO
#include <stb/stb_image.h>

namespace {

// The page names the late files before the program's static constructors have run (it writes
// the files, then the program starts), so these lists must be set up at compile time: a vector
// would be emptied by its constructor after the page had filled it.
template <typename Item>
struct FixedList {
    static constexpr int CAPACITY = 32;
    Item items[CAPACITY];
    int count;
    Item* begin() { return items; }
    Item* end() { return items + count; }
    void push_back(const Item& item) {
        if (count < CAPACITY) items[count++] = item;
    }
    void erase(Item* at) { *at = items[--count]; }  // their order does not matter
    void clear() { count = 0; }
    int size() const { return count; }
};

struct LatePicture {
    int width = 0;
    int height = 0;
    platform::MemoryTexture* texture = nullptr;  // held until its pixels land
};

constinit FixedList<LatePicture> late{};

// Settles once the page has handed over every late picture (page/assets.js).
EM_ASYNC_JS(void, late_pictures_settled, (), {
    if (Module.zorvalenLatePictures) await Module.zorvalenLatePictures;
});

bool is_stand_in(const platform::MemoryTexture& texture) {
    const std::uint32_t* pixels = texture.pixels();
    const std::size_t count = static_cast<std::size_t>(texture.width()) * texture.height();
    return count > 0 && pixels[0] == web::STAND_IN_PIXEL && pixels[count / 2] == web::STAND_IN_PIXEL &&
           pixels[count - 1] == web::STAND_IN_PIXEL;
}

void note_unlocked(platform::MemoryTexture& texture) {
    if (texture.awaited()) return;
    for (LatePicture& picture : late) {
        if (picture.texture != nullptr || static_cast<UINT>(picture.width) != texture.width() ||
            static_cast<UINT>(picture.height) != texture.height() || !is_stand_in(texture))
            continue;
        texture.AddRef();
        texture.set_awaited(true);
        picture.texture = &texture;
        return;
    }
}

void let_go(LatePicture& picture) {
    if (picture.texture == nullptr) return;
    picture.texture->set_awaited(false);
    picture.texture->Release();
    picture.texture = nullptr;
}

// Sounds. The game reads a stand-in of the sound's length: silence but for its first and last
// samples (STAND_IN_SAMPLES, too quiet to hear), so the buffer it fills is known by its length
// and those; the sound's own samples replace them when it lands. Nothing waits for a sound.
struct LateSound {
    std::size_t bytes = 0;
    IDirectSoundBuffer8* buffer = nullptr;  // held until its samples land
};

constinit FixedList<LateSound> late_sounds{};

bool is_stand_in(const std::uint8_t* samples, std::size_t bytes) {
    return bytes >= 2 * sizeof web::STAND_IN_SAMPLES &&
           std::memcmp(samples, web::STAND_IN_SAMPLES, sizeof web::STAND_IN_SAMPLES) == 0 &&
           std::memcmp(samples + bytes - sizeof web::STAND_IN_SAMPLES, web::STAND_IN_SAMPLES,
                       sizeof web::STAND_IN_SAMPLES) == 0;
}

void note_sound_unlocked(IDirectSoundBuffer8& buffer, const std::uint8_t* samples, std::size_t bytes) {
    for (LateSound& sound : late_sounds) {
        if (sound.buffer == &buffer) return;
    }
    for (LateSound& sound : late_sounds) {
        if (sound.buffer != nullptr || sound.bytes != bytes || !is_stand_in(samples, bytes)) continue;
        buffer.AddRef();
        sound.buffer = &buffer;
        return;
    }
}

}  // namespace

void web::wait_for_late_pictures() { late_pictures_settled(); }

extern "C" {

// The page wrote the stand-in of a picture this size in place of the file.
EMSCRIPTEN_KEEPALIVE void zorvalen_picture_awaited(int width, int height) {
    platform::MemoryTexture::on_unlocked = note_unlocked;
    late.push_back({width, height, nullptr});
}

// A late picture's file as the game would have read it: its pixels go into the texture made of
// its stand-in, as the game's own loader puts them there. 0 when no texture waits for it.
EMSCRIPTEN_KEEPALIVE int zorvalen_picture_landed(const unsigned char* bytes, int size) {
    int width = 0, height = 0, channels = 0;
    unsigned char* rgba = stbi_load_from_memory(bytes, size, &width, &height, &channels, 4);
    if (rgba == nullptr) return 0;
    int placed = 0;
    for (auto picture = late.begin(); picture != late.end(); ++picture) {
        if (picture->width != width || picture->height != height || picture->texture == nullptr) continue;
        D3DLOCKED_RECT locked{};
        if (SUCCEEDED(picture->texture->LockRect(0, &locked, nullptr, 0))) {
            for (int row = 0; row < height; ++row) {
                auto* out = reinterpret_cast<std::uint32_t*>(static_cast<unsigned char*>(locked.pBits) +
                                                             static_cast<std::size_t>(row) * locked.Pitch);
                const unsigned char* in = rgba + static_cast<std::size_t>(row) * width * 4;
                for (int x = 0; x < width; ++x, in += 4)
                    out[x] = (static_cast<std::uint32_t>(in[3]) << 24) | (in[0] << 16) | (in[1] << 8) | in[2];
            }
            picture->texture->UnlockRect(0);
            placed = 1;
        }
        let_go(*picture);
        late.erase(picture);
        break;
    }
    stbi_image_free(rgba);
    return placed;
}

// Every late picture has landed or will not: none is waited for any more (one that never came
// stays its stand-in, which shows nothing).
EMSCRIPTEN_KEEPALIVE void zorvalen_pictures_settled() {
    for (LatePicture& picture : late) let_go(picture);
    late.clear();
    platform::MemoryTexture::on_unlocked = nullptr;
}

// The page wrote the stand-in of a sound whose samples are this many bytes.
EMSCRIPTEN_KEEPALIVE void zorvalen_sound_awaited(int bytes) {
    audio::buffer_unlocked = note_sound_unlocked;
    late_sounds.push_back({static_cast<std::size_t>(bytes), nullptr});
}

// A late sound's samples, as the game would have read them from its file: they go into the
// buffer made of its stand-in (the one of their length). 0 when no buffer waits for them.
EMSCRIPTEN_KEEPALIVE int zorvalen_sound_landed(const unsigned char* samples, int bytes) {
    for (auto sound = late_sounds.begin(); sound != late_sounds.end(); ++sound) {
        if (sound->bytes != static_cast<std::size_t>(bytes) || sound->buffer == nullptr) continue;
        IDirectSoundBuffer8* buffer = sound->buffer;
        late_sounds.erase(sound);
        void* into = nullptr;
        DWORD length = 0;
        int placed = 0;
        if (SUCCEEDED(buffer->Lock(0, 0, &into, &length, nullptr, nullptr, DSBLOCK_ENTIREBUFFER)) &&
            into != nullptr && length == static_cast<DWORD>(bytes)) {
            std::memcpy(into, samples, length);
            placed = 1;
        }
        if (into != nullptr) buffer->Unlock(into, length, nullptr, 0);
        buffer->Release();
        return placed;
    }
    return 0;
}

// Every late sound has landed or will not (one that never came stays silent).
EMSCRIPTEN_KEEPALIVE void zorvalen_sounds_settled() {
    for (LateSound& sound : late_sounds) {
        if (sound.buffer != nullptr) sound.buffer->Release();
    }
    late_sounds.clear();
    audio::buffer_unlocked = nullptr;
}

// Every late file is in the file system as it is: a replay being recorded names them, not their
// stand-ins.
EMSCRIPTEN_KEEPALIVE void zorvalen_files_landed() { replays::refresh_recorded_assets(); }

}  // extern "C"
