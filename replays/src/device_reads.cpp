#include "replays/device_reads.h"

namespace device_reads {

namespace {

Stage translating;
Stage recording;
Stage replacing;

}  // namespace

void set_translate_stage(const Stage& stage) { translating = stage; }
void set_record_stage(const Stage& stage) { recording = stage; }
void set_replace_stage(const Stage& stage) { replacing = stage; }

bool pass_keyboard_read(std::uint8_t keys[256], bool ok) {
    // A failed read has nothing in it to translate; it is still what the game reads.
    if (ok && translating.keyboard != nullptr) translating.keyboard(keys);
    if (recording.keyboard != nullptr) recording.keyboard(keys);
    if (replacing.keyboard == nullptr) return ok;
    replacing.keyboard(keys);
    return true;
}

bool pass_mouse_read(MouseRead& mouse, bool ok) {
    if (ok && translating.mouse != nullptr) translating.mouse(mouse);
    if (recording.mouse != nullptr) recording.mouse(mouse);
    if (replacing.mouse == nullptr) return ok;
    replacing.mouse(mouse);
    return true;
}

}  // namespace device_reads
