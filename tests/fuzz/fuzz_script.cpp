// The replay runner's script parser, on any text.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "script.h"

namespace {

[[noreturn]] void broken(const char* what) {
    std::fprintf(stderr, "script invariant broken: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    replay::Script script;
    replay::ParseError error;
    if (!replay::parse_script(text, script, error)) {
        if (error.line < 1 || error.message.empty()) broken("a refusal that names no line");
        return 0;
    }
    int64_t total = 0;
    for (const replay::ScriptLine& line : script.lines) {
        if (line.count < 1 || line.count > 1'000'000'000) broken("a frame count out of range");
        if (line.source_line < 1) broken("a line with no source line");
        total += line.count;
    }
    if (total != script.frame_count()) broken("frame_count disagrees with its lines");
    // The cursor walks the first frames exactly as input_at reads them.
    replay::ScriptCursor cursor(script);
    for (int64_t frame = 0; frame < 64 && !cursor.done(); ++frame, cursor.advance()) {
        if (!(cursor.input() == script.input_at(frame))) broken("the cursor and input_at disagree");
    }
    (void)replay::key_code(text.substr(0, 16));
    return 0;
}
