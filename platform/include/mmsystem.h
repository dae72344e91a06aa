// The WINMM multimedia-file (RIFF) functions and the wave format record, for the builds over
// our own layer; on Windows the real SDK's header stands here.
//
// On every backend, the same (over stdio, platform/shared/mmio.cpp): mmioOpenA for reading only
// (MMIO_READ), mmioDescend (by id, or MMIO_FINDCHUNK / MMIO_FINDRIFF / MMIO_FINDLIST, within a
// parent chunk), mmioRead, mmioAscend (past the chunk and its pad byte), mmioClose. The browser
// reads the files the page packed.
// Accepted and ignored: the MMIOINFO argument and the flags of mmioAscend and mmioClose.
// A missing file: mmioOpenA returns null. Offsets are 32-bit, as in the RIFF format.
#pragma once

#include <windows.h>

typedef DWORD FOURCC;
typedef char* HPSTR;
struct HMMIO__;
typedef HMMIO__* HMMIO;
typedef UINT MMRESULT;

#define mmioFOURCC(c0, c1, c2, c3) \
    ((FOURCC)(BYTE)(c0) | ((FOURCC)(BYTE)(c1) << 8) | ((FOURCC)(BYTE)(c2) << 16) | ((FOURCC)(BYTE)(c3) << 24))
#define FOURCC_RIFF mmioFOURCC('R', 'I', 'F', 'F')
#define FOURCC_LIST mmioFOURCC('L', 'I', 'S', 'T')

#define MMSYSERR_NOERROR 0
#define MMIOERR_BASE 256
#define MMIOERR_CHUNKNOTFOUND (MMIOERR_BASE + 9)
#define MMIOERR_CANNOTREAD (MMIOERR_BASE + 5)
#define MMIOERR_CANNOTSEEK (MMIOERR_BASE + 6)
#define MMIO_READ 0x00000000
#define MMIO_ALLOCBUF 0x00010000
#define MMIO_FINDCHUNK 0x0010
#define MMIO_FINDRIFF 0x0020
#define MMIO_FINDLIST 0x0040

struct MMIOINFO;
typedef MMIOINFO* LPMMIOINFO;

struct MMCKINFO {
    FOURCC ckid;
    DWORD cksize;
    FOURCC fccType;
    DWORD dwDataOffset;
    DWORD dwFlags;
};
typedef MMCKINFO* LPMMCKINFO;

#define WAVE_FORMAT_PCM 1

#pragma pack(push, 1)
struct WAVEFORMATEX {
    WORD wFormatTag;
    WORD nChannels;
    DWORD nSamplesPerSec;
    DWORD nAvgBytesPerSec;
    WORD nBlockAlign;
    WORD wBitsPerSample;
    WORD cbSize;
};
#pragma pack(pop)
typedef WAVEFORMATEX* LPWAVEFORMATEX;

HMMIO WINAPI mmioOpenA(LPSTR file_name, LPMMIOINFO info, DWORD open_flags);
MMRESULT WINAPI mmioDescend(HMMIO file, LPMMCKINFO chunk, const MMCKINFO* parent, UINT flags);
LONG WINAPI mmioRead(HMMIO file, HPSTR buffer, LONG count);
MMRESULT WINAPI mmioAscend(HMMIO file, LPMMCKINFO chunk, UINT flags);
MMRESULT WINAPI mmioClose(HMMIO file, UINT flags);
