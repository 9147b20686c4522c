// The demo driver, the scene playback loop and the window shell.
#pragma once

#include <cstddef>
#include <cstdint>

#include "pipeline/pipeline.h"  // currentframe, swapinterval, clipplanecount

struct Scene;
struct Vec3;
union SDL_Event;

// Character codes typed or a close ('q'), in arrival order. Nothing ever takes a code
// out, so once one is put a key stays pending for the rest of the run.
struct KeyQueue {
  int32_t codes[256];
  int32_t writepos;
  int32_t readpos;
};

// Written by the window procedure and by the scripted key; read by keypending.
extern KeyQueue keyqueue;

// The fixed programme: three scenes loaded, the card opened, each scene played.
void rundemo(int argc, char **argv);
// Plays one scene from firstframe + 1 to lastframe + 1, or until a key is pending.
void playscene(Scene *scene);
// One pass of the playback loop before it draws: every object, light and effect of the
// scene moved to its motion at currentframe (particles updated), then the camera moved
// and oriented. lastsfxposition carries the aim of a camera aimed past the object list
// from frame to frame; start it at the origin.
void movescene(Scene *scene, Vec3 *lastsfxposition);
// Handles window messages; 1 when a key or close is pending.
int keypending(void);
// Modal message box titled "Error"; in headless mode the text goes to standard error.
int errorbox(const char *text);
// Splits the command line into at most 31 words; argument 0 is the program's name.
char **parsecommandline(char *commandline, int *argc);

// Shows text in the error box, flushes the log and ends the process with code.
[[noreturn]] void fatalerror(const char *text, int code);
// Puts a character code into keyqueue; a full ring (255 codes) drops it.
void putkey(int32_t code);
// The main window "Glide Test" with its start-up text; in headless mode none. 1 made
// (or headless), 0 when the window cannot be created.
int createmainwindow(void);
// Destroys the main window if it still exists and closes the window system.
void destroymainwindow(void);
// The window procedure: handles one window-system event for either window. Returns 1
// when the event was a paint, else 0.
int mainwindowproc(const SDL_Event *event);
// Reads LWDEMO_KEY ("<frames>:<character>" or "<frames>:#<code>"): that code is put once
// the card has shown the given number of frames. 0 (with a message on standard error)
// when the value is malformed; 1 otherwise, also when it is not set.
int setupscriptedkey(void);

// lwplay's command line.
struct PlayerOptions {
  const char *scene = nullptr;
  int once = 0, info = 0, help = 0;
  int hasfrom = 0, hasto = 0;
  int32_t from = 0, to = 0;
  double fps = 0;                // 0: the scene's own rate
  const char *render = nullptr;  // a folder of PNG frames, or a .mp4
  const char *log = nullptr;
};
// Reads lwplay's arguments (argv[0] is the program). 1 with *options set; 0 with the
// reason in error.
int parseplayeroptions(int argc, char **argv, PlayerOptions *options, char *error, size_t errorsize);
// lwplay: loads the scene with tolerant loading and plays, renders or describes it. The
// process's exit code (0 done, 1 bad command line, 2 the scene cannot be played, 3 no
// card, log or textures, 4 frames cannot be written, 130 a render stopped by a signal).
int runplayer(int argc, char **argv);
