#include <key_names.h>

#include <cctype>

#include <dinput.h>

#include "common/letters.h"

namespace keys {

namespace {

struct KeyName {
    const char* name;
    int code;
};

#define ZV_KEY(name) KeyName{#name, DIK_##name}

// Every key the layer's keyboard knows, under its SDK name.
constexpr KeyName key_names[] = {
    ZV_KEY(ESCAPE),   ZV_KEY(1),          ZV_KEY(2),         ZV_KEY(3),        ZV_KEY(4),
    ZV_KEY(5),        ZV_KEY(6),          ZV_KEY(7),         ZV_KEY(8),        ZV_KEY(9),
    ZV_KEY(0),        ZV_KEY(MINUS),      ZV_KEY(EQUALS),    ZV_KEY(BACK),     ZV_KEY(TAB),
    ZV_KEY(Q),        ZV_KEY(W),          ZV_KEY(E),         ZV_KEY(R),        ZV_KEY(T),
    ZV_KEY(Y),        ZV_KEY(U),          ZV_KEY(I),         ZV_KEY(O),        ZV_KEY(P),
    ZV_KEY(LBRACKET), ZV_KEY(RBRACKET),   ZV_KEY(RETURN),    ZV_KEY(LCONTROL), ZV_KEY(A),
    ZV_KEY(S),        ZV_KEY(D),          ZV_KEY(F),         ZV_KEY(G),        ZV_KEY(H),
    ZV_KEY(J),        ZV_KEY(K),          ZV_KEY(L),         ZV_KEY(SEMICOLON), ZV_KEY(APOSTROPHE),
    ZV_KEY(GRAVE),    ZV_KEY(LSHIFT),     ZV_KEY(BACKSLASH), ZV_KEY(Z),        ZV_KEY(X),
    ZV_KEY(C),        ZV_KEY(V),          ZV_KEY(B),         ZV_KEY(N),        ZV_KEY(M),
    ZV_KEY(COMMA),    ZV_KEY(PERIOD),     ZV_KEY(SLASH),     ZV_KEY(RSHIFT),   ZV_KEY(MULTIPLY),
    ZV_KEY(LMENU),    ZV_KEY(SPACE),      ZV_KEY(CAPITAL),   ZV_KEY(F1),       ZV_KEY(F2),
    ZV_KEY(F3),       ZV_KEY(F4),         ZV_KEY(F5),        ZV_KEY(F6),       ZV_KEY(F7),
    ZV_KEY(F8),       ZV_KEY(F9),         ZV_KEY(F10),       ZV_KEY(NUMLOCK),  ZV_KEY(SCROLL),
    ZV_KEY(NUMPAD7),  ZV_KEY(NUMPAD8),    ZV_KEY(NUMPAD9),   ZV_KEY(SUBTRACT), ZV_KEY(NUMPAD4),
    ZV_KEY(NUMPAD5),  ZV_KEY(NUMPAD6),    ZV_KEY(ADD),       ZV_KEY(NUMPAD1),  ZV_KEY(NUMPAD2),
    ZV_KEY(NUMPAD3),  ZV_KEY(NUMPAD0),    ZV_KEY(DECIMAL),   ZV_KEY(OEM_102),  ZV_KEY(F11),
    ZV_KEY(F12),      ZV_KEY(NUMPADENTER), ZV_KEY(RCONTROL), ZV_KEY(DIVIDE),   ZV_KEY(SYSRQ),
    ZV_KEY(RMENU),    ZV_KEY(PAUSE),      ZV_KEY(HOME),      ZV_KEY(UP),       ZV_KEY(PRIOR),
    ZV_KEY(LEFT),     ZV_KEY(RIGHT),      ZV_KEY(END),       ZV_KEY(DOWN),     ZV_KEY(NEXT),
    ZV_KEY(INSERT),   ZV_KEY(DELETE),     ZV_KEY(LWIN),      ZV_KEY(RWIN),     ZV_KEY(APPS),
};

#undef ZV_KEY

}  // namespace

int key_code(std::string_view name) {
    for (const KeyName& key : key_names) {
        if (same_letters(name, key.name)) return key.code;
    }
    return -1;
}

const char* key_name(int code) {
    for (const KeyName& key : key_names) {
        if (key.code == code) return key.name;
    }
    return nullptr;
}

}  // namespace keys
