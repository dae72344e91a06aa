// Every tracked script's state and draw lines, kept as SHA-256 digests of 100-frame blocks in
// tests/digests/. Whatever changes how the game reaches the screen must leave these alone; a
// failure names the script, the stream and the first block of frames that differs.
// Rewrite them only on purpose: ZORVALEN_UPDATE_DIGESTS=1 build/debug/tests/zorvalen_tests
// --gtest_filter='ReplayDigests.*'
#include <gtest/gtest.h>

#include <openssl/evp.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "runner.h"
#include "script.h"

namespace {

namespace fs = std::filesystem;

const fs::path tests_dir = fs::path(ZORVALEN_TEST_DATA_DIR).parent_path();
constexpr int frames_per_block = 100;

// Hashes output lines (one line is one frame) in blocks of frames_per_block as they are written,
// so that a run's gigabyte of draw lines is never held.
class BlockDigests {
public:
    BlockDigests() : context_(EVP_MD_CTX_new(), EVP_MD_CTX_free) { start_block(); }

    void write(const char* data, std::size_t size) {
        while (size > 0) {
            const char* newline = static_cast<const char*>(std::memchr(data, '\n', size));
            const std::size_t take = newline == nullptr ? size : static_cast<std::size_t>(newline - data) + 1;
            EVP_DigestUpdate(context_.get(), data, take);
            pending_ = true;
            if (newline != nullptr && ++lines_ % frames_per_block == 0) finish_block();
            data += take;
            size -= take;
        }
    }

    std::vector<std::string> finish() {
        if (pending_) finish_block();
        return std::move(blocks_);
    }

private:
    void start_block() {
        EVP_DigestInit_ex(context_.get(), EVP_sha256(), nullptr);
        pending_ = false;
    }
    void finish_block() {
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        EVP_DigestFinal_ex(context_.get(), digest, &length);
        std::string hex;
        for (unsigned int i = 0; i < length; ++i) {
            static const char digits[] = "0123456789abcdef";
            hex += digits[digest[i] >> 4];
            hex += digits[digest[i] & 15];
        }
        blocks_.push_back(hex);
        start_block();
    }

    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context_;
    std::vector<std::string> blocks_;
    long lines_ = 0;
    bool pending_ = false;
};

// A FILE* that feeds a BlockDigests, so the runner writes exactly as it writes to a file.
std::FILE* open_digest_stream(BlockDigests& digests) {
    cookie_io_functions_t functions{};
    functions.write = [](void* cookie, const char* data, std::size_t size) -> ssize_t {
        static_cast<BlockDigests*>(cookie)->write(data, size);
        return static_cast<ssize_t>(size);
    };
    return fopencookie(&digests, "w", functions);
}

struct Digests {
    std::vector<std::string> state;
    std::vector<std::string> draws;
};

Digests digest_script(const fs::path& script_path) {
    replay::Script script;
    std::string error;
    EXPECT_TRUE(replay::load_script_file(script_path.string(), script, error)) << error;

    BlockDigests state_digests;
    BlockDigests draw_digests;
    std::FILE* state_out = open_digest_stream(state_digests);
    std::FILE* draws_out = open_digest_stream(draw_digests);
    replay::RunSettings settings;
    settings.state_out = state_out;
    settings.draws_out = draws_out;

    const fs::path started_in = fs::current_path();
    fs::current_path(ZORVALEN_ASSET_DIR);
    const replay::RunOutcome outcome = replay::play(script, settings);
    fs::current_path(started_in);
    std::fclose(state_out);
    std::fclose(draws_out);

    EXPECT_TRUE(outcome.started);
    EXPECT_TRUE(outcome.errors.empty());
    EXPECT_EQ(outcome.quads_dropped, 0);
    return Digests{state_digests.finish(), draw_digests.finish()};
}

// The file's form: one line per block, "state FIRST_FRAME SHA256" or "draws FIRST_FRAME SHA256".
std::string format_digests(const Digests& digests) {
    std::ostringstream text;
    for (const auto& [name, blocks] : {std::pair{"state", &digests.state}, std::pair{"draws", &digests.draws}}) {
        for (std::size_t i = 0; i < blocks->size(); ++i) {
            text << name << ' ' << i * frames_per_block << ' ' << (*blocks)[i] << '\n';
        }
    }
    return text.str();
}

Digests parse_digests(std::istream& in) {
    Digests digests;
    std::string name;
    long first_frame = 0;
    std::string hex;
    while (in >> name >> first_frame >> hex) (name == "state" ? digests.state : digests.draws).push_back(hex);
    return digests;
}

// "" when equal; otherwise which frames differ first.
std::string first_difference(const std::vector<std::string>& kept, const std::vector<std::string>& now) {
    for (std::size_t i = 0; i < std::max(kept.size(), now.size()); ++i) {
        const long first = static_cast<long>(i) * frames_per_block;
        const std::string frames = "frames " + std::to_string(first) + "-" + std::to_string(first + frames_per_block - 1);
        if (i >= kept.size()) return frames + " are new (the run got longer)";
        if (i >= now.size()) return frames + " are missing (the run got shorter)";
        if (kept[i] != now[i]) return frames + " differ";
    }
    return "";
}

std::vector<fs::path> tracked_scripts() {
    std::vector<fs::path> scripts;
    for (const auto& entry : fs::directory_iterator(tests_dir / "scripts")) {
        if (entry.path().extension() == ".txt") scripts.push_back(entry.path());
    }
    std::sort(scripts.begin(), scripts.end());
    return scripts;
}

class ReplayDigests : public testing::TestWithParam<std::string> {};

TEST_P(ReplayDigests, StateAndDrawLinesAreUnchanged) {
    const fs::path script = tests_dir / "scripts" / GetParam();
    const fs::path kept_path = tests_dir / "digests" / (script.stem().string() + ".sha256");
    const Digests now = digest_script(script);
    ASSERT_FALSE(now.state.empty());
    ASSERT_FALSE(now.draws.empty());

    if (std::getenv("ZORVALEN_UPDATE_DIGESTS") != nullptr) {
        fs::create_directories(kept_path.parent_path());
        std::ofstream(kept_path, std::ios::binary) << format_digests(now);
        GTEST_SKIP() << "rewrote " << kept_path;
    }
    std::ifstream kept_file(kept_path, std::ios::binary);
    ASSERT_TRUE(kept_file) << "no digests for " << script.filename() << "; make them with ZORVALEN_UPDATE_DIGESTS=1";
    const Digests kept = parse_digests(kept_file);
    EXPECT_EQ(first_difference(kept.state, now.state), "") << script.filename() << ": state lines";
    EXPECT_EQ(first_difference(kept.draws, now.draws), "") << script.filename() << ": draw lines";
}

std::vector<std::string> script_names() {
    std::vector<std::string> names;
    for (const fs::path& path : tracked_scripts()) names.push_back(path.filename().string());
    return names;
}

INSTANTIATE_TEST_SUITE_P(TrackedScripts, ReplayDigests, testing::ValuesIn(script_names()),
                         [](const testing::TestParamInfo<std::string>& info) {
                             std::string name = fs::path(info.param).stem().string();
                             for (char& c : name) {
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             }
                             return name;
                         });

}  // namespace
