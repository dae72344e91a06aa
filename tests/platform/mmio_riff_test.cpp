// Walking RIFF files with the multimedia-file functions: the search by identifier, pad
// bytes, and sizes that claim more than the file or the parent chunk holds.
#include <gtest/gtest.h>

#include <mmsystem.h>

#include "support/sound_wav_files.h"

using namespace wav_files;

namespace {

constexpr FOURCC wave = mmioFOURCC('W', 'A', 'V', 'E');

class Riff : public ::testing::Test {
protected:
    HMMIO open(const Bytes& bytes) {
        const std::string path = folder_.write("file.riff", bytes);
        file_ = mmioOpenA(const_cast<LPSTR>(path.c_str()), nullptr, MMIO_ALLOCBUF | MMIO_READ);
        EXPECT_NE(file_, nullptr);
        return file_;
    }
    void TearDown() override { mmioClose(file_, 0); }

    // Descends into the file's RIFF chunk, as the sound loader does first.
    MMCKINFO descend_riff() {
        MMCKINFO riff_chunk{};
        EXPECT_EQ(mmioDescend(file_, &riff_chunk, nullptr, 0), MMSYSERR_NOERROR);
        return riff_chunk;
    }
    MMRESULT find(MMCKINFO& found, const char* id, const MMCKINFO& parent) {
        found = MMCKINFO{};
        found.ckid = mmioFOURCC(id[0], id[1], id[2], id[3]);
        return mmioDescend(file_, &found, &parent, MMIO_FINDCHUNK);
    }
    Bytes read(LONG count) {
        Bytes out(static_cast<size_t>(count), 0xEE);
        const LONG got = mmioRead(file_, reinterpret_cast<HPSTR>(out.data()), count);
        out.resize(got < 0 ? 0 : static_cast<size_t>(got));
        return out;
    }

    ScratchFolder folder_;
    HMMIO file_ = nullptr;
};

TEST_F(Riff, DescendsIntoTheFormAndFindsChunksByIdentifierPastOthersAndPadBytes) {
    // A chunk before "fmt ", an odd-sized one between it and "data", and one after.
    Bytes body;
    append(body, chunk("JUNK", {1, 2, 3, 4}));
    append(body, chunk("fmt ", {10, 11, 12, 13}));
    append(body, chunk("LIST", {7, 7, 7}));  // three bytes and a pad byte
    append(body, chunk("data", {20, 21, 22, 23, 24}));
    append(body, chunk("cue ", {9, 9}));
    open(riff("WAVE", body));

    const MMCKINFO form = descend_riff();
    EXPECT_EQ(form.ckid, FOURCC_RIFF);
    EXPECT_EQ(form.fccType, wave);
    EXPECT_EQ(form.cksize, body.size() + 4);
    EXPECT_EQ(form.dwDataOffset, 8u);

    MMCKINFO sub{};
    ASSERT_EQ(find(sub, "fmt ", form), MMSYSERR_NOERROR);
    EXPECT_EQ(sub.cksize, 4u);
    EXPECT_EQ(sub.dwDataOffset, 12u + 12u + 8u);
    EXPECT_EQ(read(4), (Bytes{10, 11, 12, 13}));

    ASSERT_EQ(mmioAscend(file_, &sub, 0), MMSYSERR_NOERROR);
    ASSERT_EQ(find(sub, "data", form), MMSYSERR_NOERROR);
    EXPECT_EQ(sub.cksize, 5u);
    EXPECT_EQ(read(static_cast<LONG>(sub.cksize)), (Bytes{20, 21, 22, 23, 24}));

    // Ascending from the odd-sized chunk steps over its pad byte onto the next header.
    ASSERT_EQ(mmioAscend(file_, &sub, 0), MMSYSERR_NOERROR);
    ASSERT_EQ(find(sub, "cue ", form), MMSYSERR_NOERROR);
    EXPECT_EQ(read(2), (Bytes{9, 9}));
}

TEST_F(Riff, SearchStopsAtTheParentsEndAndReportsAMissingChunk) {
    // The RIFF chunk claims only its "fmt " chunk; a "data" chunk after it is outside.
    const Bytes inside = chunk("fmt ", {1, 2});
    Bytes file = riff("WAVE", inside);
    append(file, chunk("data", {5, 6}));
    open(file);
    MMCKINFO form = descend_riff();

    MMCKINFO sub{};
    EXPECT_EQ(find(sub, "data", form), MMIOERR_CHUNKNOTFOUND);
    // It is there all the same, right after the form.
    ASSERT_EQ(mmioAscend(file_, &form, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(mmioDescend(file_, &sub, nullptr, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(sub.ckid, mmioFOURCC('d', 'a', 't', 'a'));
}

TEST_F(Riff, SizesClaimingMoreThanTheFileHoldsAreCutAtItsEnd) {
    // Both the form and its "data" chunk claim nearly 4 GiB; the file holds six samples' bytes.
    Bytes body;
    append(body, chunk("fmt ", {1, 2, 3, 4}));
    append(body, chunk_claiming("data", 0xFFFFFFF0u, {1, 2, 3, 4, 5, 6}));
    open(riff("WAVE", body, 0xFFFFFFFFu));

    const MMCKINFO form = descend_riff();
    EXPECT_EQ(form.cksize, body.size() + 4);

    MMCKINFO sub{};
    ASSERT_EQ(find(sub, "data", form), MMSYSERR_NOERROR);
    EXPECT_EQ(sub.cksize, 6u);
    EXPECT_EQ(read(static_cast<LONG>(sub.cksize)), (Bytes{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(read(10), Bytes{});  // nothing lies past the end
}

TEST_F(Riff, AChunkClaimingMoreThanItsParentIsCutAtTheParentsEnd) {
    // The form ends after 4 bytes of "data"; the chunk claims 100, and 8 more bytes follow the form.
    Bytes body = chunk_claiming("data", 100, {1, 2, 3, 4});
    Bytes file = riff("WAVE", body);
    append(file, Bytes{9, 9, 9, 9, 9, 9, 9, 9});
    open(file);
    const MMCKINFO form = descend_riff();

    MMCKINFO sub{};
    ASSERT_EQ(find(sub, "data", form), MMSYSERR_NOERROR);
    EXPECT_EQ(sub.cksize, 4u);
}

TEST_F(Riff, ASkippedChunkThatRunsOffTheEndEndsTheSearch) {
    // "JUNK" claims to cover the rest of the file and beyond, so "data" cannot be found after it.
    Bytes body = chunk_claiming("JUNK", 0x7FFFFFFFu, {0, 0});
    append(body, chunk("data", {1, 2}));
    open(riff("WAVE", body));
    const MMCKINFO form = descend_riff();
    MMCKINFO sub{};
    EXPECT_EQ(find(sub, "data", form), MMIOERR_CHUNKNOTFOUND);
}

TEST_F(Riff, AFileTooShortForAHeaderHasNoChunk) {
    open(Bytes{'R', 'I', 'F', 'F', 4, 0});
    MMCKINFO first{};
    EXPECT_EQ(mmioDescend(file_, &first, nullptr, 0), MMIOERR_CHUNKNOTFOUND);
}

TEST_F(Riff, APlainChunkFirstLeavesTheFormTypeAlone) {
    open(chunk("JUNK", {'W', 'A', 'V', 'E'}));
    MMCKINFO first{};
    ASSERT_EQ(mmioDescend(file_, &first, nullptr, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(first.ckid, mmioFOURCC('J', 'U', 'N', 'K'));
    EXPECT_EQ(first.fccType, 0u);  // only RIFF and LIST chunks carry a form type
}

TEST(RiffOpen, AMissingFileCannotBeOpened) {
    char path[] = "no-such-directory/no-such-file.wav";
    EXPECT_EQ(mmioOpenA(path, nullptr, MMIO_READ), nullptr);
}

}  // namespace
