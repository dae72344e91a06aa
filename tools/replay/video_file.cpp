#include "video_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace replay {

namespace {

constexpr int seek_size = 0x10000;   // AVSEEK_SIZE: the size, without moving
constexpr int seek_force = 0x20000;  // AVSEEK_FORCE: a hint that changes nothing here

}  // namespace

FragmentFile::~FragmentFile() { close(); }

bool FragmentFile::create(const std::string& path, std::string& error) {
    close();
    path_ = path;
    std::error_code ignored;
    if (std::filesystem::is_directory(path, ignored)) {
        error = "cannot write '" + path + "': it is a directory";
        return false;
    }
    std::filesystem::path directory = std::filesystem::path(path).parent_path();
    if (directory.empty()) directory = ".";
    fd_ = ::open(directory.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    anonymous_ = fd_ >= 0;
    // Some file systems have no unnamed files; there the file is made under its name at once.
    if (fd_ < 0 && (errno == EOPNOTSUPP || errno == EISDIR))
        fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0) {
        error = "cannot write '" + path + "': " + std::strerror(errno);
        return false;
    }
    return true;
}

bool FragmentFile::write_at(int64_t offset, const uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::pwrite(fd_, data, size, offset);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            if (written == 0) errno = ENOSPC;
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
        offset += written;
    }
    return true;
}

int FragmentFile::write(const uint8_t* data, int size) {
    if (fd_ < 0 || failed_ || size < 0) return -EIO;
    std::size_t left = static_cast<std::size_t>(size);
    // Committed bytes are rewritten in place (a header's sizes, filled in at the end).
    if (position_ < committed_) {
        const std::size_t direct = std::min<std::size_t>(left, static_cast<std::size_t>(committed_ - position_));
        if (!write_at(position_, data, direct)) {
            failed_ = true;
            return -errno;
        }
        position_ += static_cast<int64_t>(direct);
        data += direct;
        left -= direct;
    }
    if (left > 0) {
        const std::size_t at = static_cast<std::size_t>(position_ - committed_);
        // A gap left by a seek past the end reads as zeros, as in a file.
        if (pending_.size() < at + left) pending_.resize(at + left);
        std::memcpy(pending_.data() + at, data, left);
        position_ += static_cast<int64_t>(left);
    }
    return size;
}

int64_t FragmentFile::seek(int64_t offset, int whence) {
    const int64_t end = committed_ + static_cast<int64_t>(pending_.size());
    whence &= ~seek_force;
    if (whence == seek_size) return end;
    int64_t target = offset;
    if (whence == SEEK_CUR) target += position_;
    if (whence == SEEK_END) target += end;
    if (target < 0 || (whence != SEEK_SET && whence != SEEK_CUR && whence != SEEK_END)) return -EINVAL;
    position_ = target;
    return target;
}

bool FragmentFile::give_name(std::string& error) {
    if (!anonymous_) return true;
    const std::string self = "/proc/self/fd/" + std::to_string(fd_);
    int linked = ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path_.c_str(), AT_SYMLINK_FOLLOW);
    if (linked != 0 && errno == EEXIST) {
        // An older file of that name gives way only now that the new one has a second to show.
        ::unlink(path_.c_str());
        linked = ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path_.c_str(), AT_SYMLINK_FOLLOW);
    }
    if (linked != 0) {
        error = "cannot name '" + path_ + "': " + std::strerror(errno);
        return false;
    }
    return true;
}

bool FragmentFile::commit(std::string& error) {
    if (fd_ < 0 || failed_) {
        error = "the file could not be written";
        return false;
    }
    if (!write_at(committed_, pending_.data(), pending_.size())) {
        const int why = errno;
        // Back to where the last whole fragment ended, so the file still plays to there.
        if (::ftruncate(fd_, committed_) != 0) {
            // Then the disk keeps a torn last fragment; players still stop at the last whole one.
        }
        failed_ = true;
        error = std::strerror(why);
        return false;
    }
    committed_ += static_cast<int64_t>(pending_.size());
    pending_.clear();
    if (!named_) {
        if (!give_name(error)) {
            failed_ = true;
            return false;
        }
        named_ = true;
    }
    return true;
}

void FragmentFile::close() {
    if (fd_ < 0) return;
    ::close(fd_);
    fd_ = -1;
    if (!named_ && !anonymous_) ::unlink(path_.c_str());
    pending_.clear();
    pending_.shrink_to_fit();
    committed_ = 0;
    position_ = 0;
    named_ = false;
    failed_ = false;
}

}  // namespace replay
