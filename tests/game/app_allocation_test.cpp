// Nothing is allocated per frame: every frame of play runs on the World's fixed storage.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>

#include "app/app.h"
#include "replays/game_probe.h"
#include "replays/replay_session.h"
#include "support/game_fixture.h"

namespace {

std::atomic<bool> counting{false};
std::atomic<long> allocations{0};

void* count_and_allocate(std::size_t size) noexcept {
    if (counting.load(std::memory_order_relaxed)) allocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size == 0 ? 1 : size);
}

}  // namespace

// Counts every allocation through operator new while `counting` is set; the test binary's
// other tests are unaffected because they never set it. Every plain form is replaced, array
// and nothrow ones too: a form left to the runtime would hand memory to our delete (free),
// which AddressSanitizer rightly reports as a mismatched pair.
void* operator new(std::size_t size) {
    if (void* memory = count_and_allocate(size)) return memory;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    if (void* memory = count_and_allocate(size)) return memory;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return count_and_allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return count_and_allocate(size); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { std::free(memory); }

namespace {

class AllocationTest : public GameFixture {
protected:
    // Walk right while firing bullets and rockets, so enemies spawn, are shot and explode,
    // messages fade and the medkit drifts: the busy paths of a frame.
    long allocations_in_busy_play() {
        hold_keys({DIK_SPACE});
        EXPECT_TRUE(run_frame());
        EXPECT_TRUE(world.in_play);
        allocations = 0;
        counting = true;
        for (int frame = 0; frame < 600; ++frame) {
            hold_keys({DIK_D});
            set_mouse(frame % 7 - 3, frame % 5 - 2, frame % 20 < 15, frame % 40 == 0);
            drain_messages();
            run_frame();
        }
        counting = false;
        EXPECT_GT(world.player_x, 0);
        return allocations.load();
    }
};

TEST_F(AllocationTest, AFrameOfPlayAllocatesNothing) {
    start_game();
    EXPECT_EQ(allocations_in_busy_play(), 0);
}

// Recorded, ten blocks of it written out and flushed.
TEST_F(AllocationTest, AFrameOfPlayRecordedAllocatesNothing) {
    const std::string file =
        (std::filesystem::path(::testing::TempDir()) / ("allocation_" + std::to_string(::getpid()) + ".zvr")).string();
    replays::install_game_probe();
    replays::start_recording("", file, replays::Recorder::runner);
    ASSERT_NE(replays::active_recorder(), nullptr);
    start_game();
    EXPECT_EQ(allocations_in_busy_play(), 0);
    replays::end_session();
    EXPECT_GT(std::filesystem::file_size(file), 600u);
    std::filesystem::remove(file);
}

}  // namespace
