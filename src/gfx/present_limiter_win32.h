// Holds the Windows build at the game's 60 frames a second on any display. On Linux the
// platform layer paces the frames inside its Present.
#pragma once

#ifdef _WIN32

// Called by the frame boundary right before Present: waits until the frame is due, unless the
// display's retrace already holds the game at 60 frames a second.
void wait_for_frame_deadline();

// Called right after Present: notices when presents stop waiting for the retrace.
void frame_presented();

#endif
