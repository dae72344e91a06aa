// Small RIFF files built byte by byte for the loader's tests, written to a scratch folder.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace wav_files {

using Bytes = std::vector<uint8_t>;

inline void put_u16(Bytes& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

inline void put_u32(Bytes& out, uint32_t value) {
    put_u16(out, value & 0xFFFF);
    put_u16(out, value >> 16);
}

// Byte by byte: GCC 12 at -O3 wrongly reports a range insert into an empty vector as an overflow.
inline void put_id(Bytes& out, const char* id) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(id[i]));
}

inline void append(Bytes& out, const Bytes& more) {
    out.reserve(out.size() + more.size());
    for (uint8_t byte : more) out.push_back(byte);
}

// A chunk as a well-formed file holds it: header, data, and a pad byte after odd data.
inline Bytes chunk(const char* id, const Bytes& data) {
    Bytes out;
    put_id(out, id);
    put_u32(out, static_cast<uint32_t>(data.size()));
    append(out, data);
    if (data.size() % 2 == 1) out.push_back(0);
    return out;
}

// A chunk whose header claims a size of its own, followed by whatever data is given.
inline Bytes chunk_claiming(const char* id, uint32_t claimed, const Bytes& data) {
    Bytes out;
    put_id(out, id);
    put_u32(out, claimed);
    append(out, data);
    return out;
}

// "RIFF", the size of what follows (unless claimed says otherwise), the form type, the body.
inline Bytes riff(const char* form, const Bytes& body, int64_t claimed = -1) {
    Bytes out;
    put_id(out, "RIFF");
    put_u32(out, claimed >= 0 ? static_cast<uint32_t>(claimed) : static_cast<uint32_t>(body.size() + 4));
    put_id(out, form);
    append(out, body);
    return out;
}

// The data of a "fmt " chunk: 16 bytes (PCMWAVEFORMAT) or 18 (WAVEFORMATEX with cbSize 0).
inline Bytes format(uint16_t channels, uint32_t rate, uint16_t bits, uint16_t tag = 1, size_t size = 18) {
    Bytes out;
    put_u16(out, tag);
    put_u16(out, channels);
    put_u32(out, rate);
    const uint32_t block = channels * (bits / 8u);
    put_u32(out, rate * block);
    put_u16(out, block);
    put_u16(out, bits);
    if (size >= 18) put_u16(out, 0);
    out.resize(size, 0);
    return out;
}

inline Bytes samples16(std::initializer_list<int16_t> values) {
    Bytes out;
    for (int16_t v : values) put_u16(out, static_cast<uint16_t>(v));
    return out;
}

// A scratch folder of its own for each test, removed afterwards.
class ScratchFolder {
public:
    ScratchFolder() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        path_ = std::filesystem::temp_directory_path() /
                ("zorvalen-" + std::string(info->test_suite_name()) + "-" + info->name() + "-" +
                 std::to_string(reinterpret_cast<uintptr_t>(this)));
        std::filesystem::create_directories(path_);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::string path_of(const std::string& name) const { return (path_ / name).string(); }

    std::string write(const std::string& name, const Bytes& bytes) const {
        const std::filesystem::path file = path_ / name;
        std::ofstream out(file, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return file.string();
    }

private:
    std::filesystem::path path_;
};

}  // namespace wav_files
