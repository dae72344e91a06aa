// The replay records' plain pieces: frames' keys, the digest, the CRC, the asset pack's digest
// and the clock shown for a count of frames.
#include <cstdio>
#include <memory>

#include "replay_bytes.h"

namespace replays {

using namespace format;

void FrameReads::set_key(int code, bool held) {
    std::uint8_t& byte = keys[static_cast<std::size_t>(code) >> 3];
    const std::uint8_t bit = static_cast<std::uint8_t>(1u << (code & 7));
    byte = held ? (byte | bit) : (byte & ~bit);
}

void keys_from_bytes(const std::uint8_t bytes[256], FrameReads& reads) {
    for (int i = 0; i < 32; ++i) {
        std::uint8_t packed = 0;
        for (int b = 0; b < 8; ++b)
            if (bytes[i * 8 + b] != 0) packed |= static_cast<std::uint8_t>(1u << b);
        reads.keys[static_cast<std::size_t>(i)] = packed;
    }
}

void keys_to_bytes(const FrameReads& reads, std::uint8_t bytes[256]) {
    for (int code = 0; code < 256; ++code) bytes[code] = reads.key(code) ? 0x80 : 0;
}

void Digest::add_bytes(const void* data, std::size_t size) {
    const auto* at = static_cast<const std::uint8_t*>(data);
    for (; size >= 4; size -= 4, at += 4) add(static_cast<std::uint32_t>(get_le(at, 4)));
    for (; size > 0; --size, ++at) add(*at);
}

std::uint32_t crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc) {
    static const auto table = [] {
        std::array<std::uint32_t, 256> made{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            made[n] = c;
        }
        return made;
    }();
    crc = ~crc;
    for (std::size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

const char* const ASSET_FILES[] = {
    "Player.tga", "bullet.tga", "crosshair4.tga", "rocket1.tga", "medkit.tga", "explosion.tga",
    "eRed.tga", "eGreen.tga", "eBlue.tga", "eWhite.tga", "eThinGrey.tga", "eThinDark.tga",
    "manbearpig.tga", "bg0.tga", "bg1.tga", "bg2.tga", "startscreen.bmp", "font.raw",
    "bgmusic.wav", "bullet.wav", "rocket.wav", "explodies.wav",
};
const std::size_t ASSET_FILE_COUNT = sizeof ASSET_FILES / sizeof ASSET_FILES[0];

std::uint64_t digest_asset_pack(const std::string& folder) {
    Digest digest;
    static std::uint8_t piece[1 << 16];
    for (std::size_t i = 0; i < ASSET_FILE_COUNT; ++i) {
        const std::string name = ASSET_FILES[i];
        digest.add_bytes(name.data(), name.size());
        const std::string path = folder.empty() ? name : folder + "/" + name;
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
        std::uint64_t size = 0;
        Digest contents;
        while (file != nullptr) {
            const std::size_t got = std::fread(piece, 1, sizeof piece, file.get());
            contents.add_bytes(piece, got);
            size += got;
            if (got < sizeof piece) break;
        }
        digest.add(static_cast<std::uint32_t>(size));
        digest.add(static_cast<std::uint32_t>(size >> 32));
        digest.add(static_cast<std::uint32_t>(contents.value()));
        digest.add(static_cast<std::uint32_t>(contents.value() >> 32));
    }
    return digest.value();
}

std::string clock_of_frames(std::uint32_t frames) {
    const std::uint32_t seconds = frames / 60;
    char text[32];
    if (seconds >= 3600)
        std::snprintf(text, sizeof text, "%u:%02u:%02u", seconds / 3600, seconds / 60 % 60, seconds % 60);
    else
        std::snprintf(text, sizeof text, "%u:%02u", seconds / 60, seconds % 60);
    return text;
}

}  // namespace replays
