// Sending replays to a board, against a stand-in that answers as a board's API does
// (board_stand_in.py): --submit waits for the verdict and exits 0 only for a verified run, and a
// board that rejects the run or cannot be reached is one line and exit 1; the desktop's submit at
// the end of a game goes on its own thread, as its settings say, and leaves the replay where it was.
#ifdef ZORVALEN_HAVE_BOARD_CLIENT
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "board_client/after_game.h"
#include "replay_commands.h"
#include "runner.h"

namespace {

namespace fs = std::filesystem;

const std::string script_dir = fs::path(ZORVALEN_TEST_DATA_DIR).parent_path().string() + "/scripts/";

std::string read_all(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The stand-in, on a port of its own; it stops when its standard input closes.
class StandIn {
public:
    explicit StandIn(const fs::path& out_dir) {
        int to_child[2], from_child[2];
        if (pipe(to_child) != 0 || pipe(from_child) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(to_child[0], 0);
            dup2(from_child[1], 1);
            close(to_child[1]);
            close(from_child[0]);
            const std::string script = std::string(ZORVALEN_SOURCE_DIR) + "/tests/tools/board_stand_in.py";
            execlp("python3", "python3", script.c_str(), out_dir.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(to_child[0]);
        close(from_child[1]);
        stdin_ = to_child[1];
        std::string port;
        char c;
        while (read(from_child[0], &c, 1) == 1 && c != '\n') port += c;
        close(from_child[0]);
        url_ = "http://127.0.0.1:" + port;
        ok_ = !port.empty();
    }
    ~StandIn() {
        if (stdin_ >= 0) close(stdin_);
        if (pid_ > 0) waitpid(pid_, nullptr, 0);
    }
    bool ok() const { return ok_; }
    const std::string& url() const { return url_; }

private:
    pid_t pid_ = -1;
    int stdin_ = -1;
    bool ok_ = false;
    std::string url_;
};

// An address where nothing listens: a port bound and let go again.
std::string unreachable_url() {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
    getsockname(s, reinterpret_cast<sockaddr*>(&address), &size);
    close(s);
    return "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
}

class BoardSubmit : public ::testing::Test {
protected:
    void SetUp() override {
        work_ = fs::path(::testing::TempDir()) / ("board_submit_" + std::to_string(::getpid()));
        fs::create_directories(work_ / "uploads");
        replay_ = (work_ / "zorvalen-2024-05-31-21-07-45.zvr").string();
        ASSERT_EQ(runner({"--frames", "300", "--record", replay_, script_dir + "playthrough.txt"}), 0);
    }
    void TearDown() override { fs::remove_all(work_); }

    static int runner(std::vector<std::string> args) {
        args.insert(args.begin(), "zorvalen-replay");
        std::vector<const char*> argv;
        for (const std::string& a : args) argv.push_back(a.c_str());
        if (replay::wants_replay_command(static_cast<int>(argv.size()), argv.data()))
            return replay::run_replay_command_line(static_cast<int>(argv.size()), argv.data(), ZORVALEN_ASSET_DIR);
        return replay::run_command_line(static_cast<int>(argv.size()), argv.data(), ZORVALEN_ASSET_DIR);
    }

    fs::path work_;
    std::string replay_;
};

TEST_F(BoardSubmit, SubmitWaitsForTheVerdictAndExitsZeroOnlyForAVerifiedRun) {
    StandIn board(work_ / "uploads");
    ASSERT_TRUE(board.ok());

    ::testing::internal::CaptureStdout();
    EXPECT_EQ(runner({"--submit", board.url(), "--name", "Ada L", replay_}), 0);
    const std::string verified = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(verified.find("verified: rank 2, score 340: " + board.url() + "/play/?watch=/runs/r1.zvr"),
              std::string::npos)
        << verified;
    EXPECT_EQ(read_all(work_ / "uploads/upload-1.zvr"), read_all(replay_));
    EXPECT_EQ(read_all(work_ / "uploads/upload-1.name"), "Ada L");

    ::testing::internal::CaptureStdout();
    EXPECT_EQ(runner({"--submit", board.url(), "--name", "Reject Me", replay_}), 1);
    EXPECT_NE(::testing::internal::GetCapturedStdout().find("rejected: trailer claims score 3400, the run scored 340"),
              std::string::npos);

    ::testing::internal::CaptureStderr();
    EXPECT_EQ(runner({"--submit", board.url(), "--name", std::string(25, 'n'), replay_}), 1);
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("refused: a name is 1 to 24"), std::string::npos);

    const std::string nowhere = unreachable_url();
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(runner({"--submit", nowhere, replay_}), 1);
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(said.rfind("zorvalen-replay: " + replay_ + ": " + nowhere + " cannot be reached", 0), 0u) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
}

TEST_F(BoardSubmit, TheDesktopSubmitsInTheBackgroundAsItsSettingsSay) {
    StandIn board(work_ / "uploads");
    ASSERT_TRUE(board.ok());
    settings::BoardSettings settings{board.url(), "Grace", settings::BoardSubmit::best};

    // Not the folder's best: another of the game's replays there scored more.
    const fs::path better = work_ / "zorvalen-2024-01-01-00-00-00.zvr";
    ASSERT_EQ(runner({"--frames", "600", "--record", better.string(), script_dir + "playthrough.txt"}), 0);
    {
        board_client::BackgroundSubmit submit;
        ::testing::internal::CaptureStderr();
        board_client::submit_after_game(settings, replay_, submit);
        submit.finish();
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
        EXPECT_FALSE(fs::exists(work_ / "uploads/upload-1.zvr"));
    }
    fs::remove(better);
    {
        board_client::BackgroundSubmit submit;
        ::testing::internal::CaptureStderr();
        board_client::submit_after_game(settings, replay_, submit);
        submit.finish();
        EXPECT_EQ(::testing::internal::GetCapturedStderr(),
                  "zorvalen: the board: verified: rank 2, score 340: " + board.url() + "/play/?watch=/runs/r1.zvr\n");
        EXPECT_EQ(read_all(work_ / "uploads/upload-1.name"), "Grace");
    }
    settings.url = unreachable_url();
    settings.submit = settings::BoardSubmit::all;
    {
        board_client::BackgroundSubmit submit;
        ::testing::internal::CaptureStderr();
        board_client::submit_after_game(settings, replay_, submit);
        submit.finish();
        const std::string said = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(said.rfind("zorvalen: the board: " + settings.url + " cannot be reached", 0), 0u) << said;
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    }
    EXPECT_TRUE(fs::exists(replay_));
}

}  // namespace
#endif
