// The file a video is written to, kept so that an interruption never leaves a broken one: the
// muxer's bytes wait in memory until the caller commits them at the end of a whole fragment
// (a second of video), and the file gets its name only at the first commit. A kill before that
// leaves no file; a kill after it, or a full disk, leaves the fragments committed so far.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace replay {

class FragmentFile {
public:
    FragmentFile() = default;
    FragmentFile(const FragmentFile&) = delete;
    FragmentFile& operator=(const FragmentFile&) = delete;
    ~FragmentFile();

    // Opens an unnamed file in the directory of `path` (or, where the file system has no such
    // files, `path` itself). False with a message when the directory cannot take it.
    bool create(const std::string& path, std::string& error);

    // For the muxer's I/O context: writes at the current position, moves it. Negative on failure.
    int write(const uint8_t* data, int size);
    int64_t seek(int64_t offset, int whence);

    // Writes out every byte given so far and names the file. On failure (a full disk) the file is
    // cut back to the last commit, `error` says why, and nothing more is accepted.
    bool commit(std::string& error);
    // Drops what was not committed; a file never named is removed.
    void close();

    bool named() const { return named_; }
    int64_t committed_bytes() const { return committed_; }

private:
    bool write_at(int64_t offset, const uint8_t* data, std::size_t size);
    bool give_name(std::string& error);

    int fd_ = -1;
    bool anonymous_ = false;  // an unnamed inode, linked to path_ at the first commit
    bool named_ = false;
    bool failed_ = false;
    std::string path_;
    int64_t committed_ = 0;  // bytes on disk; pending_ starts here
    int64_t position_ = 0;
    std::vector<uint8_t> pending_;
};

}  // namespace replay
