// zorvalen-replay: plays a script of keyboard and mouse input through the real game, headless.
#include <cstdio>
#include <cstring>

#include "replay_commands.h"
#include "runner.h"
#include "soak.h"
#ifdef ZORVALEN_HAVE_VIDEO
#include "video_export.h"
#endif

int main(int argc, char** argv) {
#ifdef ZORVALEN_HAVE_VIDEO
    if (replay::wants_video(argc, argv)) return replay::run_video_command_line(argc, argv, ZORVALEN_ASSET_DIR);
#else
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--video") == 0) {
            std::fprintf(stderr,
                         "zorvalen-replay: this build has no video export; install FFmpeg's development files "
                         "(Debian: libavformat-dev libavcodec-dev libswscale-dev libswresample-dev libavutil-dev) "
                         "and build again\n");
            return 2;
        }
#endif
    if (replay::wants_replay_command(argc, argv))
        return replay::run_replay_command_line(argc, argv, ZORVALEN_ASSET_DIR);
    if (replay::wants_soak(argc, argv)) return replay::run_soak_command_line(argc, argv, ZORVALEN_ASSET_DIR);
    return replay::run_command_line(argc, argv, ZORVALEN_ASSET_DIR);
}
