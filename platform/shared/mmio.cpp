// The WINMM multimedia-file functions the sound loader uses to walk RIFF files, over
// plain stdio. Only reading is supported.
//
// A chunk header is trusted for nothing: a size that runs past the end of the file or
// of the parent chunk is cut there, so a damaged or hostile file can never make a
// reader go past the bytes that really belong to the chunk.
#include <cstdio>
#include <new>

#include <mmsystem.h>

struct HMMIO__ {
    std::FILE* file;
    uint64_t size;  // bytes in the file, taken once at open
};

namespace {

bool seek_to(HMMIO handle, uint64_t offset) {
    if (offset > handle->size) offset = handle->size;
    return std::fseek(handle->file, static_cast<long>(offset), SEEK_SET) == 0;
}

uint64_t position(HMMIO handle) {
    const long at = std::ftell(handle->file);
    return at < 0 ? handle->size : static_cast<uint64_t>(at);
}

bool read_dword(HMMIO handle, DWORD& value) {
    unsigned char bytes[4];
    if (std::fread(bytes, 1, 4, handle->file) != 4) return false;
    value = static_cast<DWORD>(bytes[0]) | (static_cast<DWORD>(bytes[1]) << 8) |
            (static_cast<DWORD>(bytes[2]) << 16) | (static_cast<DWORD>(bytes[3]) << 24);
    return true;
}

bool has_form_type(FOURCC id) { return id == FOURCC_RIFF || id == FOURCC_LIST; }

// Reads the chunk header at the current position into chunk, with its size cut to end.
// On return the file stands at the chunk's data (past the form type of a RIFF or LIST).
bool read_header(HMMIO handle, MMCKINFO& chunk, uint64_t end) {
    const uint64_t start = position(handle);
    if (start + 8 > end) return false;
    DWORD id = 0;
    DWORD size = 0;
    if (!read_dword(handle, id) || !read_dword(handle, size)) return false;
    const uint64_t data = start + 8;
    const uint64_t room = end - data;
    chunk.ckid = id;
    chunk.cksize = static_cast<uint64_t>(size) > room ? static_cast<DWORD>(room) : size;
    chunk.dwDataOffset = static_cast<DWORD>(data);
    chunk.dwFlags = 0;
    // A form too short to hold its type is still a chunk, one that a search can step over.
    if (has_form_type(id) && chunk.cksize >= 4 && !read_dword(handle, chunk.fccType)) return false;
    return true;
}

// Where the chunk's successor begins: past its data and, for an odd size, its pad byte.
uint64_t chunk_end(const MMCKINFO& chunk) {
    return static_cast<uint64_t>(chunk.dwDataOffset) + chunk.cksize + (chunk.cksize & 1u);
}

}  // namespace

HMMIO WINAPI mmioOpenA(LPSTR file_name, LPMMIOINFO, DWORD open_flags) {
    // Writing and the other open modes are not needed by the game.
    constexpr DWORD access_bits = 0x00000003;
    if (file_name == nullptr || (open_flags & access_bits) != MMIO_READ) return nullptr;
    std::FILE* file = std::fopen(file_name, "rb");
    if (file == nullptr) return nullptr;
    uint64_t size = 0;
    if (std::fseek(file, 0, SEEK_END) == 0) {
        const long end = std::ftell(file);
        if (end > 0) size = static_cast<uint64_t>(end);
    }
    // RIFF offsets are 32-bit; anything past 4 GiB cannot be addressed by a chunk record.
    if (size > 0xFFFFFFFFull) size = 0xFFFFFFFFull;
    std::rewind(file);
    HMMIO handle = new (std::nothrow) HMMIO__{file, size};
    if (handle == nullptr) std::fclose(file);
    return handle;
}

MMRESULT WINAPI mmioDescend(HMMIO handle, LPMMCKINFO chunk, const MMCKINFO* parent, UINT flags) {
    if (handle == nullptr || chunk == nullptr) return MMIOERR_CANNOTREAD;
    uint64_t end = handle->size;
    if (parent != nullptr) {
        const uint64_t parent_end = static_cast<uint64_t>(parent->dwDataOffset) + parent->cksize;
        if (parent_end < end) end = parent_end;
    }

    const UINT search = flags & (MMIO_FINDCHUNK | MMIO_FINDRIFF | MMIO_FINDLIST);
    if (search == 0) {
        MMCKINFO found = *chunk;
        if (!read_header(handle, found, end)) return MMIOERR_CHUNKNOTFOUND;
        *chunk = found;
        return MMSYSERR_NOERROR;
    }

    const FOURCC wanted_id = search == MMIO_FINDRIFF   ? FOURCC_RIFF
                             : search == MMIO_FINDLIST ? FOURCC_LIST
                                                       : chunk->ckid;
    const bool match_type = search != MMIO_FINDCHUNK;
    for (;;) {
        MMCKINFO found{};
        if (!read_header(handle, found, end)) return MMIOERR_CHUNKNOTFOUND;
        if (found.ckid == wanted_id && (!match_type || found.fccType == chunk->fccType)) {
            *chunk = found;
            return MMSYSERR_NOERROR;
        }
        const uint64_t next = chunk_end(found);
        if (next >= end || !seek_to(handle, next)) return MMIOERR_CHUNKNOTFOUND;
    }
}

LONG WINAPI mmioRead(HMMIO handle, HPSTR buffer, LONG count) {
    if (handle == nullptr || count < 0 || (buffer == nullptr && count > 0)) return -1;
    if (count == 0) return 0;
    const size_t read = std::fread(buffer, 1, static_cast<size_t>(count), handle->file);
    if (read == 0 && std::ferror(handle->file)) return -1;
    return static_cast<LONG>(read);
}

MMRESULT WINAPI mmioAscend(HMMIO handle, LPMMCKINFO chunk, UINT) {
    if (handle == nullptr || chunk == nullptr) return MMIOERR_CANNOTREAD;
    return seek_to(handle, chunk_end(*chunk)) ? MMSYSERR_NOERROR : MMIOERR_CANNOTSEEK;
}

MMRESULT WINAPI mmioClose(HMMIO handle, UINT) {
    if (handle == nullptr) return MMSYSERR_NOERROR;
    std::fclose(handle->file);
    delete handle;
    return MMSYSERR_NOERROR;
}
