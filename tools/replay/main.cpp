// zorvalen-replay: plays a script of keyboard and mouse input through the real game, headless.
#include "runner.h"

int main(int argc, char** argv) { return replay::run_command_line(argc, argv, ZORVALEN_ASSET_DIR); }
