// Physical keys as the browser names them (KeyboardEvent.code) to DirectInput scan codes.
#pragma once

#include <cstdint>

namespace web {

// 0 for a key that has no DirectInput code.
uint8_t dik_from_code(const char* code);

}  // namespace web
