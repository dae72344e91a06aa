#include "scratch_file.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <unistd.h>

namespace fuzz {

namespace {

std::string path;
int descriptor = -1;

void remove_scratch() {
    if (!path.empty()) unlink(path.c_str());
}

void open_scratch() {
    if (descriptor >= 0) return;
    // In memory where possible: a file on disk costs a block write for every input.
    const char* directory = std::getenv("TMPDIR");
    if (directory == nullptr || *directory == '\0') directory = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string pattern = std::string(directory) + "/zorvalen-fuzz-XXXXXX";
    descriptor = mkstemp(pattern.data());
    if (descriptor < 0) {
        std::perror("zorvalen fuzz: cannot create a scratch file");
        std::abort();
    }
    path = pattern;
    std::atexit(remove_scratch);
}

}  // namespace

const char* scratch_path() {
    open_scratch();
    return path.c_str();
}

void write_scratch(const uint8_t* data, size_t size) {
    open_scratch();
    if (ftruncate(descriptor, 0) != 0) std::abort();
    size_t written = 0;
    while (written < size) {
        const ssize_t got = pwrite(descriptor, data + written, size - written, static_cast<off_t>(written));
        if (got <= 0) std::abort();
        written += static_cast<size_t>(got);
    }
}

}  // namespace fuzz
