// The screen, the log, the card device, textures on the card and polygon drawing.
#pragma once

#include <cstdint>
#include <cstdio>

struct Screen {
  int32_t height = 0;
  int32_t width = 0;
  int32_t depth = 0;
  int32_t centerx = 0;
  int32_t centery = 0;
  int32_t driver = 0;  // 1: the card, the only kind implemented
};

// The viewport; made by initscreen, never freed.
extern Screen *screen;
// "error3d.txt", opened by initscreen for the whole run; every folder writes to it.
extern FILE *errorlog;
// The colour each frame is cleared to, 0x00RRGGBB; 0 until setbackdropcolor.
extern uint32_t backdropcolor;
// Texture handles of the scene being played, indexed like the texture-name table;
// valid from loadtextures to resettexturememory. Written by loadtextures.
extern uint32_t texturehandles[1024];

// Exit code of an lwdemo started in a folder where another one is playing (it holds
// the lock on the log).
constexpr int exitsecondinstance = 6;
// Makes the screen and opens the log with "Init ok\n", locked for the run and written
// line by line; returns 1. Exits 123 without memory, 3 when the log cannot be created,
// exitsecondinstance when another process holds its lock. A log that loses lines (a
// full disk) is said once on standard error and the run goes on.
int initscreen(int width, int height, int depth, int driver);
// Sets the viewport size and centre; 0 when there is no screen yet.
int setviewport(int x0, int y0, int x1, int y1);
// Sets the colour each frame is cleared to, 0x00RRGGBB.
void setbackdropcolor(int red, int green, int blue);

// Opens the card at 640x480 with two colour buffers; with usedepthbuffer the W-buffer,
// LESS, depth writes and a far clear. 1 opened, 0 no card.
int init3d(int width, int height, int depth, int usedepthbuffer);
// Shows the previous frame after swapinterval retraces, clears when asked, and enters
// the single-precision drawing phase.
void beginframe(int swapinterval, int clear);
// Leaves the drawing phase.
void endframe(void);
// Closes the card (driver 1), else prints "Not implemented".
void shutdowndisplay(void);
// Closes the card alone.
void closeglide(void);
// Frees all texture memory on the card.
void resettexturememory(void);
// Rewrites name in place into folder + its base name with the last three characters
// replaced by extension (3 characters); name holds 255 bytes. 1 rewritten; 0 when the
// path would not fit those 255 bytes, with name left as it was.
int texturepath(char *name, const char *folder, const char *extension);
// Loads every texture of the global texture-name table onto the card; 1 all loaded
// (or none to load), 0 after closing the card and logging a file that cannot be read.
int loadtextures(void);
// loadtextures for classic content (tolerantloading 1, which makes loadtextures call it):
// a 3DF texture where one is found, drawn with its own palette; else the image the name
// gives, found by findclassicfile, read, resampled to at most 256 a side within 8:1 and
// given every mip level; else the surface's own colour. One warning line for each name
// that is not a 3DF texture. Returns 1: no texture fails a classic scene.
int loadclassictextures(void);

// A screen coordinate rounded to the nearest 1/16 pixel in single precision, as drawing
// sends vertex x and y to the card.
float snapsixteenth(float coordinate);

struct SceneObject;
// Sends the object's draw list to the card, then its reflection pass.
void drawobject(SceneObject *object);
// Sends an effect mesh's draw list without depth writes, logging "tmap" per textured surface.
void drawsfxobject(SceneObject *object);
