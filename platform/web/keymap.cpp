#include "keymap.h"

#include <cstring>

#include <dinput.h>

namespace web {

namespace {

struct KeyPair {
    const char* code;
    uint8_t dik;
};

// Every key of a desktop keyboard that has a DirectInput code. The code names the key's
// place, whatever the layout prints on it, as a scan code does.
constexpr KeyPair key_pairs[] = {
    {"KeyA", DIK_A}, {"KeyB", DIK_B}, {"KeyC", DIK_C}, {"KeyD", DIK_D}, {"KeyE", DIK_E}, {"KeyF", DIK_F},
    {"KeyG", DIK_G}, {"KeyH", DIK_H}, {"KeyI", DIK_I}, {"KeyJ", DIK_J}, {"KeyK", DIK_K}, {"KeyL", DIK_L},
    {"KeyM", DIK_M}, {"KeyN", DIK_N}, {"KeyO", DIK_O}, {"KeyP", DIK_P}, {"KeyQ", DIK_Q}, {"KeyR", DIK_R},
    {"KeyS", DIK_S}, {"KeyT", DIK_T}, {"KeyU", DIK_U}, {"KeyV", DIK_V}, {"KeyW", DIK_W}, {"KeyX", DIK_X},
    {"KeyY", DIK_Y}, {"KeyZ", DIK_Z},

    {"Digit1", DIK_1}, {"Digit2", DIK_2}, {"Digit3", DIK_3}, {"Digit4", DIK_4}, {"Digit5", DIK_5},
    {"Digit6", DIK_6}, {"Digit7", DIK_7}, {"Digit8", DIK_8}, {"Digit9", DIK_9}, {"Digit0", DIK_0},

    {"Enter", DIK_RETURN}, {"Escape", DIK_ESCAPE}, {"Backspace", DIK_BACK}, {"Tab", DIK_TAB},
    {"Space", DIK_SPACE}, {"Minus", DIK_MINUS}, {"Equal", DIK_EQUALS}, {"BracketLeft", DIK_LBRACKET},
    {"BracketRight", DIK_RBRACKET}, {"Backslash", DIK_BACKSLASH}, {"Semicolon", DIK_SEMICOLON},
    {"Quote", DIK_APOSTROPHE}, {"Backquote", DIK_GRAVE}, {"Comma", DIK_COMMA}, {"Period", DIK_PERIOD},
    {"Slash", DIK_SLASH}, {"CapsLock", DIK_CAPITAL}, {"IntlBackslash", DIK_OEM_102},

    {"F1", DIK_F1}, {"F2", DIK_F2}, {"F3", DIK_F3}, {"F4", DIK_F4}, {"F5", DIK_F5}, {"F6", DIK_F6},
    {"F7", DIK_F7}, {"F8", DIK_F8}, {"F9", DIK_F9}, {"F10", DIK_F10}, {"F11", DIK_F11}, {"F12", DIK_F12},

    {"PrintScreen", DIK_SYSRQ}, {"ScrollLock", DIK_SCROLL}, {"Pause", DIK_PAUSE}, {"Insert", DIK_INSERT},
    {"Home", DIK_HOME}, {"PageUp", DIK_PRIOR}, {"Delete", DIK_DELETE}, {"End", DIK_END},
    {"PageDown", DIK_NEXT}, {"ArrowRight", DIK_RIGHT}, {"ArrowLeft", DIK_LEFT}, {"ArrowDown", DIK_DOWN},
    {"ArrowUp", DIK_UP},

    {"NumLock", DIK_NUMLOCK}, {"NumpadDivide", DIK_DIVIDE}, {"NumpadMultiply", DIK_MULTIPLY},
    {"NumpadSubtract", DIK_SUBTRACT}, {"NumpadAdd", DIK_ADD}, {"NumpadEnter", DIK_NUMPADENTER},
    {"Numpad1", DIK_NUMPAD1}, {"Numpad2", DIK_NUMPAD2}, {"Numpad3", DIK_NUMPAD3}, {"Numpad4", DIK_NUMPAD4},
    {"Numpad5", DIK_NUMPAD5}, {"Numpad6", DIK_NUMPAD6}, {"Numpad7", DIK_NUMPAD7}, {"Numpad8", DIK_NUMPAD8},
    {"Numpad9", DIK_NUMPAD9}, {"Numpad0", DIK_NUMPAD0}, {"NumpadDecimal", DIK_DECIMAL},
    {"NumpadEqual", DIK_NUMPADEQUALS},

    {"ControlLeft", DIK_LCONTROL}, {"ShiftLeft", DIK_LSHIFT}, {"AltLeft", DIK_LMENU}, {"MetaLeft", DIK_LWIN},
    {"ControlRight", DIK_RCONTROL}, {"ShiftRight", DIK_RSHIFT}, {"AltRight", DIK_RMENU},
    {"MetaRight", DIK_RWIN}, {"ContextMenu", DIK_APPS},
};

}  // namespace

uint8_t dik_from_code(const char* code) {
    // A hundred short names, looked up a few times a second at most.
    for (const KeyPair& pair : key_pairs)
        if (std::strcmp(pair.code, code) == 0) return pair.dik;
    return 0;
}

}  // namespace web
