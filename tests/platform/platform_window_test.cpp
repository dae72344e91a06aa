// The Win32 windowing subset: window class, window, message queue and pump.
#include <gtest/gtest.h>

#include <SDL2/SDL.h>
#include <headless.h>
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "input_feed.h"
#include "sdl_window.h"

namespace {

struct Delivery {
    HWND window;
    UINT message;
    WPARAM wparam;
};
std::vector<Delivery> deliveries;

LRESULT CALLBACK recording_procedure(HWND window, UINT message, WPARAM wparam, LPARAM) {
    deliveries.push_back({window, message, wparam});
    return 0x5A;
}

constexpr const char* CLASS_NAME = "PlatformWindowTest";
constexpr UINT PM_NOREMOVE_FLAG = 0;

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        headless::set_mode(headless::Mode::record);
        deliveries.clear();
        static const bool registered = [] {
            WNDCLASSEXA window_class{};
            window_class.cbSize = sizeof(WNDCLASSEXA);
            window_class.lpfnWndProc = recording_procedure;
            window_class.lpszClassName = CLASS_NAME;
            return RegisterClassExA(&window_class) != 0;
        }();
        ASSERT_TRUE(registered);
    }
    void TearDown() override { headless::set_mode(headless::Mode::record); }

    static HWND create() {
        return CreateWindowExA(0, CLASS_NAME, "", WS_OVERLAPPEDWINDOW, 100, 100, 640, 480, GetDesktopWindow(),
                               nullptr, GetModuleHandleA(nullptr), nullptr);
    }
    static int drain() {
        int dispatched = 0;
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
            ++dispatched;
        }
        return dispatched;
    }
};

TEST_F(WindowTest, AClassRegistersOnceAndTheStockResourcesExist) {
    WNDCLASSEXA again{};
    again.cbSize = sizeof(WNDCLASSEXA);
    again.lpfnWndProc = DefWindowProcA;
    again.lpszClassName = "platformwindowtest";  // class names ignore case
    EXPECT_EQ(RegisterClassExA(&again), 0);
    again.lpszClassName = "PlatformWindowTestOther";
    again.cbSize = 40;
    EXPECT_EQ(RegisterClassExA(&again), 0) << "a record of the wrong size is refused";

    EXPECT_NE(GetModuleHandleA(nullptr), nullptr);
    EXPECT_NE(LoadIconA(nullptr, IDI_APPLICATION), nullptr);
    EXPECT_NE(LoadCursorA(nullptr, IDC_ARROW), nullptr);
    EXPECT_NE(GetDesktopWindow(), nullptr);
}

TEST_F(WindowTest, TheWindowStartsHiddenAndShowWindowReportsThePreviousState) {
    HWND window = create();
    ASSERT_NE(window, nullptr);
    EXPECT_NE(window, GetDesktopWindow());
    EXPECT_FALSE(ShowWindow(window, SW_SHOW));
    EXPECT_TRUE(ShowWindow(window, SW_SHOW));
    EXPECT_TRUE(ShowWindow(window, 0));  // SW_HIDE
    EXPECT_FALSE(ShowWindow(window, SW_SHOW));
}

TEST_F(WindowTest, AdjustWindowRectKeepsTheClientAreaAsTheOuterRectangle) {
    RECT rect{0, 0, 800, 600};
    EXPECT_TRUE(AdjustWindowRect(&rect, WS_OVERLAPPEDWINDOW, FALSE));
    EXPECT_EQ(rect.left, 0);
    EXPECT_EQ(rect.top, 0);
    EXPECT_EQ(rect.right, 800);
    EXPECT_EQ(rect.bottom, 600);
}

TEST_F(WindowTest, ACloseRequestReachesTheWindowProcedureAsWmClose) {
    HWND window = create();
    ASSERT_NE(window, nullptr);
    headless::post_close();
    MSG message;
    ASSERT_TRUE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(message.hwnd, window);
    EXPECT_EQ(message.message, static_cast<UINT>(WM_CLOSE));
    EXPECT_EQ(DispatchMessageA(&message), 0x5A) << "DispatchMessageA returns what the procedure returns";
    ASSERT_EQ(deliveries.size(), 1u);
    EXPECT_EQ(deliveries[0].window, window);
    EXPECT_EQ(deliveries[0].message, static_cast<UINT>(WM_CLOSE));
    EXPECT_FALSE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) << "one request, one message";
}

TEST_F(WindowTest, WmQuitComesOutOnlyAfterEveryQueuedMessageAndOnlyOnce) {
    ASSERT_NE(create(), nullptr);
    PostQuitMessage(3);
    headless::post_close();
    MSG message;
    ASSERT_TRUE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(message.message, static_cast<UINT>(WM_CLOSE));
    ASSERT_TRUE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(message.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(message.hwnd, nullptr);
    EXPECT_EQ(message.wParam, 3u);
    EXPECT_EQ(DispatchMessageA(&message), 0) << "WM_QUIT has no window to go to";
    EXPECT_FALSE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
    EXPECT_TRUE(deliveries.empty());
}

TEST_F(WindowTest, PeekingWithoutRemovingAndFilteringLeaveMessagesQueued) {
    HWND window = create();
    ASSERT_NE(window, nullptr);
    headless::post_close();
    MSG message;
    ASSERT_TRUE(PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE_FLAG));
    ASSERT_TRUE(PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE_FLAG));
    EXPECT_FALSE(PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "outside the filtered range";
    EXPECT_FALSE(PeekMessageA(&message, GetDesktopWindow(), 0, 0, PM_REMOVE)) << "for another window";
    ASSERT_TRUE(PeekMessageA(&message, window, WM_CLOSE, WM_CLOSE, PM_REMOVE));
    EXPECT_EQ(message.message, static_cast<UINT>(WM_CLOSE));
    EXPECT_FALSE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(WindowTest, ANewWindowReplacesTheOldOneAndItsMessagesGoWithIt) {
    HWND first = create();
    ASSERT_NE(first, nullptr);
    headless::post_close();
    MSG message;
    ASSERT_TRUE(PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE_FLAG));  // now queued for `first`
    HWND second = create();
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second, first) << "handles are not reused";
    EXPECT_EQ(drain(), 0);
    EXPECT_FALSE(MoveWindow(first, 0, 0, 800, 600, TRUE));
    EXPECT_TRUE(MoveWindow(second, 0, 0, 800, 600, TRUE));
    MSG stale{first, WM_CLOSE, 0, 0, 0, {0, 0}};
    EXPECT_EQ(DispatchMessageA(&stale), 0);
    EXPECT_TRUE(deliveries.empty());
}

TEST_F(WindowTest, ChoosingTheModeAgainForgetsPendingMessages) {
    ASSERT_NE(create(), nullptr);
    PostQuitMessage(0);
    headless::post_close();
    headless::set_mode(headless::Mode::record);
    ASSERT_NE(create(), nullptr);
    EXPECT_EQ(drain(), 0);
}

TEST_F(WindowTest, HeadlessWindowsNeedNoRegisteredClassButTheGameDoes) {
    HWND window = CreateWindowExA(0, "NeverRegistered", "", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr, nullptr,
                                  nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    headless::post_close();
    EXPECT_EQ(drain(), 1) << "the message goes to the default procedure";
    EXPECT_TRUE(platform::window_has_focus());

    headless::set_mode(headless::Mode::off);
    EXPECT_EQ(CreateWindowExA(0, "NeverRegistered", "", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr, nullptr,
                              nullptr, nullptr),
              nullptr);
}

TEST_F(WindowTest, MessageBoxPrintsItsTextAsOneLineOnStderr) {
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBoxA(nullptr, "first part\nsecond part", "Caption", MB_OK | MB_ICONERROR), 1);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "first part second part\n");
}

// The game must not open a window nobody can see: SDL's offscreen and dummy drivers count as no display.
TEST_F(WindowTest, TheGameRefusesInvisibleVideoDrivers) {
    const char* saved = std::getenv("SDL_VIDEODRIVER");
    const std::string previous = saved != nullptr ? saved : "";
    for (const char* driver : {"dummy", "offscreen"}) {
        setenv("SDL_VIDEODRIVER", driver, 1);
        headless::set_mode(headless::Mode::off);
        EXPECT_EQ(create(), nullptr) << driver;
        EXPECT_EQ(platform::main_sdl_window(), nullptr);
    }
    if (saved != nullptr)
        setenv("SDL_VIDEODRIVER", previous.c_str(), 1);
    else
        unsetenv("SDL_VIDEODRIVER");
}

TEST_F(WindowTest, TheRenderModeNeedsNoWindowSystemForTheCompositor) {
    headless::set_mode(headless::Mode::render);
    HWND window = create();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(platform::main_sdl_window(), nullptr);
    EXPECT_TRUE(MoveWindow(window, 0, 0, 800, 600, TRUE));
    EXPECT_EQ(SDL_WasInit(SDL_INIT_VIDEO), 0u);
}

// The render mode on the GPU path: SDL's offscreen driver, as the hint asks.
class RenderWindowTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        SDL_SetHint("ZORVALEN_PRESENTATION", "gpu");
        headless::set_mode(headless::Mode::render);
    }
    void TearDown() override {
        SDL_ResetHint("ZORVALEN_PRESENTATION");
        WindowTest::TearDown();
    }
};

TEST_F(RenderWindowTest, TheWindowIsARealSdlWindowThatMovesAndShows) {
    HWND window = create();
    ASSERT_NE(window, nullptr);
    SDL_Window* sdl = platform::main_sdl_window();
    ASSERT_NE(sdl, nullptr);
    EXPECT_STREQ(SDL_GetCurrentVideoDriver(), "offscreen");
    int width = 0, height = 0;
    SDL_GetWindowSize(sdl, &width, &height);
    EXPECT_EQ(width, 640);
    EXPECT_EQ(height, 480);
    EXPECT_EQ(SDL_GetWindowFlags(sdl) & SDL_WINDOW_SHOWN, 0u) << "created hidden";

    ASSERT_TRUE(MoveWindow(window, 0, 0, 800, 600, TRUE));
    ShowWindow(window, SW_SHOW);
    SDL_GetWindowSize(sdl, &width, &height);
    EXPECT_EQ(width, 800);
    EXPECT_EQ(height, 600);
    EXPECT_NE(SDL_GetWindowFlags(sdl) & SDL_WINDOW_SHOWN, 0u);
    EXPECT_TRUE(platform::window_has_focus());
}

TEST_F(RenderWindowTest, TheWindowSystemsCloseEventBecomesOneWmClose) {
    HWND window = create();
    ASSERT_NE(window, nullptr);
    SDL_Event close{};
    close.type = SDL_WINDOWEVENT;
    close.window.event = SDL_WINDOWEVENT_CLOSE;
    close.window.windowID = SDL_GetWindowID(platform::main_sdl_window());
    ASSERT_EQ(SDL_PushEvent(&close), 1);
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    ASSERT_EQ(SDL_PushEvent(&quit), 1);
    EXPECT_EQ(drain(), 1) << "closing the last window also sends SDL_QUIT; the game hears it once";
    ASSERT_EQ(deliveries.size(), 1u);
    EXPECT_EQ(deliveries[0].window, window);
    EXPECT_EQ(deliveries[0].message, static_cast<UINT>(WM_CLOSE));
}

}  // namespace
