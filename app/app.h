// The demo driver, the scene playback loop and the window shell.
#pragma once

#include <cstdint>

struct Scene;

// The frame being played. Written by the playback loop.
extern int32_t currentframe;
// Retraces per shown frame for the scene being played (1 or 2). Written by the playback loop.
extern int32_t swapinterval;
// Number of view planes the clipper uses. Written by the playback loop.
extern int32_t clipplanecount;

// The fixed programme: three scenes loaded, the card opened, each scene played.
void rundemo(int argc, char **argv);
// Plays one scene from firstframe + 1 to lastframe + 1, or until a key is pending.
void playscene(Scene *scene);
// Handles window messages; 1 when a key or close is pending.
int keypending(void);
// Modal message box titled "Error"; in headless mode the text goes to standard error.
int errorbox(const char *text);
// Splits the command line into at most 31 words; argument 0 is the program's name.
char **parsecommandline(char *commandline, int *argc);
