// The keyboard's keys by their DirectInput names without the DIK_ prefix ("SPACE", "ESCAPE",
// "A", "7"), as the replay runner's scripts and the game's input-script test hook write them.
// For tests and tools; the game never sees it.
#pragma once

#include <string_view>

namespace keys {

// The scan code of a key name, in any case; -1 for a name that is no key's.
int key_code(std::string_view name);
// The name of a scan code, in capitals, or null for a code with none.
const char* key_name(int code);

}  // namespace keys
