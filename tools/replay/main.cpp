// zorvalen-replay: plays a script of keyboard and mouse input through the real game, headless.
#include "runner.h"
#include "soak.h"
#include "video_export.h"

int main(int argc, char** argv) {
    if (replay::wants_video(argc, argv)) return replay::run_video_command_line(argc, argv, ZORVALEN_ASSET_DIR);
    if (replay::wants_soak(argc, argv)) return replay::run_soak_command_line(argc, argv, ZORVALEN_ASSET_DIR);
    return replay::run_command_line(argc, argv, ZORVALEN_ASSET_DIR);
}
