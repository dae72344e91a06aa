// The DirectInput layer's own parts: physical key positions, and device state built from
// the window system's events between two reads.
#include <gtest/gtest.h>

#include <SDL_scancode.h>

#include <iterator>
#include <set>

#include <dinput.h>

#include "dinput_keymap.h"
#include "dinput_state.h"

namespace {

using dinput::dik_from_scancode;

TEST(KeyMap, TheGamesKeysSitWhereDirectInputHasThem) {
    EXPECT_EQ(dik_from_scancode(SDL_SCANCODE_ESCAPE), 1);
    EXPECT_EQ(dik_from_scancode(SDL_SCANCODE_W), 17);
    EXPECT_EQ(dik_from_scancode(SDL_SCANCODE_A), 30);
    EXPECT_EQ(dik_from_scancode(SDL_SCANCODE_S), 31);
    EXPECT_EQ(dik_from_scancode(SDL_SCANCODE_D), 32);
    EXPECT_EQ(dik_from_scancode(SDL_SCANCODE_SPACE), 57);
    EXPECT_EQ(dik_from_scancode(SDL_SCANCODE_UP), 200);
    EXPECT_EQ(dik_from_scancode(SDL_SCANCODE_LEFT), 203);
    EXPECT_EQ(dik_from_scancode(SDL_SCANCODE_RIGHT), 205);
    EXPECT_EQ(dik_from_scancode(SDL_SCANCODE_DOWN), 208);
}

TEST(KeyMap, RowsOfTheMainBlockRunInScanCodeOrder) {
    // Scan codes follow the rows of the keyboard left to right; the letters are only labels.
    const SDL_Scancode top[] = {SDL_SCANCODE_Q, SDL_SCANCODE_W, SDL_SCANCODE_E, SDL_SCANCODE_R, SDL_SCANCODE_T,
                                SDL_SCANCODE_Y, SDL_SCANCODE_U, SDL_SCANCODE_I, SDL_SCANCODE_O, SDL_SCANCODE_P};
    const SDL_Scancode home[] = {SDL_SCANCODE_A, SDL_SCANCODE_S, SDL_SCANCODE_D, SDL_SCANCODE_F, SDL_SCANCODE_G,
                                 SDL_SCANCODE_H, SDL_SCANCODE_J, SDL_SCANCODE_K, SDL_SCANCODE_L};
    const SDL_Scancode bottom[] = {SDL_SCANCODE_Z, SDL_SCANCODE_X, SDL_SCANCODE_C, SDL_SCANCODE_V,
                                   SDL_SCANCODE_B, SDL_SCANCODE_N, SDL_SCANCODE_M};
    for (int i = 0; i < 10; ++i) EXPECT_EQ(dik_from_scancode(top[i]), DIK_Q + i);
    for (int i = 0; i < 9; ++i) EXPECT_EQ(dik_from_scancode(home[i]), DIK_A + i);
    for (int i = 0; i < 7; ++i) EXPECT_EQ(dik_from_scancode(bottom[i]), DIK_Z + i);
    for (int i = 0; i < 9; ++i) EXPECT_EQ(dik_from_scancode(SDL_SCANCODE_1 + i), DIK_1 + i);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(dik_from_scancode(SDL_SCANCODE_F1 + i), DIK_F1 + i);
}

TEST(KeyMap, EveryDirectInputKeyIsReachableAndKeysWithoutOneReadAsNothing) {
    // Every code this layer's header names, so a key left out of the map shows up here.
    const int named[] = {
        DIK_ESCAPE, DIK_1, DIK_2, DIK_3, DIK_4, DIK_5, DIK_6, DIK_7, DIK_8, DIK_9, DIK_0, DIK_MINUS,
        DIK_EQUALS, DIK_BACK, DIK_TAB, DIK_Q, DIK_W, DIK_E, DIK_R, DIK_T, DIK_Y, DIK_U, DIK_I, DIK_O, DIK_P,
        DIK_LBRACKET, DIK_RBRACKET, DIK_RETURN, DIK_LCONTROL, DIK_A, DIK_S, DIK_D, DIK_F, DIK_G, DIK_H,
        DIK_J, DIK_K, DIK_L, DIK_SEMICOLON, DIK_APOSTROPHE, DIK_GRAVE, DIK_LSHIFT, DIK_BACKSLASH, DIK_Z,
        DIK_X, DIK_C, DIK_V, DIK_B, DIK_N, DIK_M, DIK_COMMA, DIK_PERIOD, DIK_SLASH, DIK_RSHIFT,
        DIK_MULTIPLY, DIK_LMENU, DIK_SPACE, DIK_CAPITAL, DIK_F1, DIK_F2, DIK_F3, DIK_F4, DIK_F5, DIK_F6,
        DIK_F7, DIK_F8, DIK_F9, DIK_F10, DIK_NUMLOCK, DIK_SCROLL, DIK_NUMPAD7, DIK_NUMPAD8, DIK_NUMPAD9,
        DIK_SUBTRACT, DIK_NUMPAD4, DIK_NUMPAD5, DIK_NUMPAD6, DIK_ADD, DIK_NUMPAD1, DIK_NUMPAD2,
        DIK_NUMPAD3, DIK_NUMPAD0, DIK_DECIMAL, DIK_OEM_102, DIK_F11, DIK_F12, DIK_F13, DIK_F14, DIK_F15,
        DIK_KANA, DIK_ABNT_C1, DIK_CONVERT, DIK_NOCONVERT, DIK_YEN, DIK_ABNT_C2, DIK_NUMPADEQUALS,
        DIK_PREVTRACK, DIK_NEXTTRACK, DIK_NUMPADENTER, DIK_RCONTROL, DIK_MUTE, DIK_CALCULATOR,
        DIK_PLAYPAUSE, DIK_MEDIASTOP, DIK_VOLUMEDOWN, DIK_VOLUMEUP, DIK_WEBHOME, DIK_DIVIDE, DIK_SYSRQ,
        DIK_RMENU, DIK_PAUSE, DIK_HOME, DIK_UP, DIK_PRIOR, DIK_LEFT, DIK_RIGHT, DIK_END, DIK_DOWN,
        DIK_NEXT, DIK_INSERT, DIK_DELETE, DIK_LWIN, DIK_RWIN, DIK_APPS, DIK_POWER, DIK_SLEEP,
        DIK_WEBSEARCH, DIK_WEBFAVORITES, DIK_WEBREFRESH, DIK_WEBSTOP, DIK_WEBFORWARD, DIK_WEBBACK,
        DIK_MYCOMPUTER, DIK_MAIL, DIK_MEDIASELECT,
    };
    std::set<int> reached;
    for (int scancode = 0; scancode < SDL_NUM_SCANCODES; ++scancode) {
        const int code = dik_from_scancode(scancode);
        if (code != 0) reached.insert(code);
    }
    for (int code : named) EXPECT_TRUE(reached.count(code)) << "no key gives scan code " << code;
    EXPECT_EQ(reached.size(), std::size(named)) << "a key gives a code the header does not name";

    EXPECT_EQ(dik_from_scancode(SDL_SCANCODE_UNKNOWN), 0);
    EXPECT_EQ(dik_from_scancode(SDL_SCANCODE_F20), 0);
    EXPECT_EQ(dik_from_scancode(-1), 0);
    EXPECT_EQ(dik_from_scancode(SDL_NUM_SCANCODES), 0);
}

TEST(KeyState, AHeldKeyReadsHeldOnEveryReadUntilReleased) {
    dinput::KeyTracker keys;
    uint8_t state[256];
    keys.press(DIK_SPACE);
    for (int read = 0; read < 3; ++read) {
        keys.read(state);
        EXPECT_EQ(state[DIK_SPACE], 0x80);
        EXPECT_EQ(state[DIK_W], 0);
    }
    keys.release(DIK_SPACE);
    keys.read(state);
    EXPECT_EQ(state[DIK_SPACE], 0);
}

TEST(KeyState, ATapBetweenTwoReadsIsReadOnceAsHeld) {
    dinput::KeyTracker keys;
    uint8_t state[256];
    keys.press(DIK_ESCAPE);
    keys.release(DIK_ESCAPE);
    keys.read(state);
    EXPECT_EQ(state[DIK_ESCAPE], 0x80);
    keys.read(state);
    EXPECT_EQ(state[DIK_ESCAPE], 0);

    // Released and pressed again between reads: still held, and then held on.
    keys.press(DIK_A);
    keys.read(state);
    keys.release(DIK_A);
    keys.press(DIK_A);
    keys.read(state);
    EXPECT_EQ(state[DIK_A], 0x80);
}

TEST(KeyState, ClearingDropsHeldKeysAndUnreadTaps) {
    dinput::KeyTracker keys;
    uint8_t state[256];
    keys.press(DIK_D);
    keys.press(DIK_S);
    keys.release(DIK_S);
    keys.clear();
    keys.read(state);
    EXPECT_EQ(state[DIK_D], 0);
    EXPECT_EQ(state[DIK_S], 0);
}

TEST(MouseState, MotionIsSummedBetweenReadsAndConsumedByEach) {
    dinput::MouseTracker mouse;
    DIMOUSESTATE state{};
    mouse.move(3, -4);
    mouse.move(10, 1);
    mouse.turn_wheel(-120);
    mouse.read(state);
    EXPECT_EQ(state.lX, 13);
    EXPECT_EQ(state.lY, -3);
    EXPECT_EQ(state.lZ, -120);
    mouse.read(state);
    EXPECT_EQ(state.lX, 0);
    EXPECT_EQ(state.lY, 0);
    EXPECT_EQ(state.lZ, 0);
}

TEST(MouseState, MotionBeyondThe32BitRangeSaturates) {
    dinput::MouseTracker mouse;
    DIMOUSESTATE state{};
    for (int i = 0; i < 4; ++i) mouse.move(2000000000, -2000000000);
    mouse.read(state);
    EXPECT_EQ(state.lX, INT32_MAX);
    EXPECT_EQ(state.lY, INT32_MIN);
}

TEST(MouseState, AClickShorterThanAFrameIsReadOnceAndAHeldButtonOnEveryRead) {
    dinput::MouseTracker mouse;
    DIMOUSESTATE state{};
    mouse.button(0, true);
    mouse.button(0, false);
    mouse.button(1, true);
    mouse.read(state);
    EXPECT_EQ(state.rgbButtons[0], 0x80);
    EXPECT_EQ(state.rgbButtons[1], 0x80);
    mouse.read(state);
    EXPECT_EQ(state.rgbButtons[0], 0);
    EXPECT_EQ(state.rgbButtons[1], 0x80);

    mouse.button(7, true);  // a button the state record has no room for
    mouse.clear();
    mouse.read(state);
    EXPECT_EQ(state.rgbButtons[1], 0);
}

TEST(MouseState, DroppingStaleMotionKeepsClicksAndHeldButtons) {
    dinput::MouseTracker mouse;
    DIMOUSESTATE state{};
    mouse.move(40, 40);
    mouse.button(0, true);
    mouse.button(0, false);
    mouse.button(1, true);
    mouse.forget_motion();
    mouse.move(1, 2);
    mouse.read(state);
    EXPECT_EQ(state.lX, 1);
    EXPECT_EQ(state.lY, 2);
    EXPECT_EQ(state.rgbButtons[0], 0x80);
    EXPECT_EQ(state.rgbButtons[1], 0x80);
}

}  // namespace
