// Inside the card: the pipeline state, the rasterizer's entry points and the helpers that
// every part of the card (device, rasterizer, texture unit) shares. Not for the system.
//
// Fixed-point formats of the rasterizer (all planes start at the centre of the pixel that
// holds the triangle's top vertex and step by whole pixels):
// - colour and alpha: 12.12 in 32 bits, wrapping; the low 12 integer bits are kept and
//   "pseudo-clamped" as the chip did (0xFFF -> 0, 0x100 -> 255, else the low 8 bits);
// - 1/w, s/w, t/w: 32 fraction bits in 64 bits (1/w = 1.0 is 1 << 32), turned into
//   single precision at the start of each span and then stepped as first + k * step.
// Integer planes and that one-multiply step make a value at a pixel the same whether
// reached one pixel or four pixels at a time, and the same for the same vertices, which
// the EQUAL depth pass and the reference-path tests rely on.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

#include "platform/glide/cardtexture.h"
#include "platform/glide/glide.h"

// Appends one line "name(args)\n" to the call trace while tracing is on. fmt is the
// printf format of the line without its newline. Every API call of the card calls this
// first, the texture unit's included: integers in decimal, floats with %g, file names as
// given, other pointers left out.
void cardtracecall(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
// Writes message and a newline to standard error the first time this text is given in
// the process (up to 64 distinct messages are remembered; later ones always print).
void cardlogonce(const char *message);

struct CardCombine {
  int function = GR_COMBINE_FUNCTION_SCALE_OTHER;
  int factor = GR_COMBINE_FACTOR_ONE;
  int local = GR_COMBINE_LOCAL_ITERATED;
  int other = GR_COMBINE_OTHER_ITERATED;
  int invert = 0;
};

// The pipeline state the rasterizer reads; the defaults are the card's after opening.
struct CardState {
  int depthmode = GR_DEPTHBUFFER_DISABLE;
  int depthfunc = GR_CMP_LESS;
  int depthmask = 0;
  CardCombine color;  // iterated RGB
  CardCombine alpha = {GR_COMBINE_FUNCTION_SCALE_OTHER, GR_COMBINE_FACTOR_ONE,
                       GR_COMBINE_LOCAL_CONSTANT, GR_COMBINE_OTHER_CONSTANT, 0};
  int texcombine = GR_TEXTURECOMBINE_ZERO;
  int rgbsrc = GR_BLEND_ONE, rgbdst = GR_BLEND_ZERO;
  int alphasrc = GR_BLEND_ONE, alphadst = GR_BLEND_ZERO;
  uint32_t constantcolor = 0xFFFFFFFF;
};

// Where the rasterizer draws: width x height pixels of colour and 16-bit W depth, rows
// stride pixels apart in both. Vertices come in the card's 640 x 480 pixels and are
// drawn scale times as large (the sub-pixel snap, fill rule, planes, level of detail and
// dither all taken at the scaled pixel). format 16 keeps RGB565 in color (4x4 ordered dither,
// blending reads the destination with the dither subtracted), format 32 keeps 0x00RRGGBB
// in color32 (8 bits a channel, no dither). Only the rows of one share are touched: row y
// belongs to share (y / bandrows) mod bands, so workers that each own one share never
// write the same pixel, and any number of them draw the same frame.
struct CardTarget {
  uint16_t *color = nullptr;
  uint32_t *color32 = nullptr;
  uint16_t *depth = nullptr;
  int width = cardwidth, height = cardheight, stride = cardwidth;
  int scale = 1;
  int format = 16;
  int band = 0, bands = 1, bandrows = 8;
};

// The colour of one frame pixel as 0x00RRGGBB before scan-out (565 fields widened by bit
// replication): how the tests and the scaled-frame checks compare the two formats.
uint32_t cardpixelrgb(const CardTarget *target, int x, int y);

// A triangle set up for drawing: its snapped corners, plane starts and steps, the state it
// draws with and the texture levels it reads, all captured when it was submitted, so
// later state calls and other triangles never change how it draws. Plain values only:
// the span routines make their vectors from it.
struct CardSetup {
  CardState state;
  int span = -1;         // index of the span routine (of the 16-bit format), -1: the reference path
  int px0 = 0, py0 = 0;  // the pixel whose centre the planes start at
  uint32_t r0 = 0, rdx = 0, rdy = 0, g0 = 0, gdx = 0, gdy = 0;
  uint32_t b0 = 0, bdx = 0, bdy = 0, a0 = 0, adx = 0, ady = 0;
  uint64_t w0 = 0, wdx = 0, wdy = 0, s0 = 0, sdx = 0, sdy = 0, t0 = 0, tdx = 0, tdy = 0;
  float wdxf = 0, sdxf = 0, tdxf = 0;  // the x steps of 1/w, s/w, t/w as floats
  // Snapped corners in 1/16 pixel, sorted top to bottom.
  int xa = 0, ya = 0, xb = 0, yb = 0, xc = 0, yc = 0;
  int bright = 0;  // 1 when B lies right of the long edge AC
  int ystart = 0, yend = 0;
  // Texture: texmode 0 = no texel needed, 1 = sample tex, 2 = white (none usable).
  int texmode = 0;
  const uint32_t *texels[9] = {};
  int texw[9] = {}, texh[9] = {};
  int lodbase = 0, lodmin = 0, lodmax = 0;  // 1/256 of a level
  int minbilinear = 0, magbilinear = 0, sclamp = 0, tclamp = 0;
  // The LOD base split as lodbase = 256 * lodlevel + f with lodcount = how many log2
  // table entries are <= f, so that floor((lodbase - 256 * log2(w)) / 256) = lodlevel - e
  // - (m8 >= lodcount) for w = 2^e * (1 + m8/256 + ...): the same level without a table
  // lookup per pixel.
  int lodlevel = 0, lodcount = 0;
  int unusabletexture = 0;  // 1 when the texture bound had unusable levels
};

// Sets s up for drawing the triangle a, b, c with the state st and texture tex (null:
// untextured) into target (its size and scale; nothing is drawn yet); 0 when it draws nothing
// (non-finite, beyond the coordinate range, zero area, or no row inside). reference = 1
// takes the plain per-pixel path that evaluates every plane directly and decodes every
// state on every pixel; 0 takes the span routine specialised for the state when one
// exists. Both give the same bits.
int cardsetuptriangle(CardSetup *s, const CardState *st, const CardTexture *tex,
                      const CardTarget *target, const GrVertex *a, const GrVertex *b,
                      const GrVertex *c, int reference);
// Draws a set-up triangle's rows of the target's share.
void carddrawsetup(const CardSetup *s, const CardTarget *target);
// Both of the above at once.
void carddrawtriangle(const CardState *st, const CardTexture *tex, const CardTarget *target,
                      const GrVertex *a, const GrVertex *b, const GrVertex *c, int reference);
// Chooses the span routines: 8 pixels a step (only where the processor has AVX2) or 4.
// Returns the width in use, 8 by default where the processor has it. Both give the same
// bits; for the tests and benchmarks.
int cardspanlanes(int lanes);
// 1 when the fast span routines cover this state and texture (for the tests).
int cardhasfastpath(const CardState *st, const CardTexture *tex);
// The 16-bit W-buffer value of 1/w: 0 for 1/w >= 1 (or negative), 0xFFFF for
// 1/w < 2^-16, else (e << 12) + (0xFFF - m) + 1 with 1/w in [2^-(e+1), 2^-e) and m the
// 12 bits after its leading 1.
uint16_t cardwdepth(float oow);
// The 565 value the card writes for 8-bit r, g, b at pixel (x, y): 4x4 ordered dither.
uint16_t carddither(int r, int g, int b, int x, int y);
// Fills the target share's colour with 0x00RRGGBB (dithered in format 16).
void cardfillcolor(const CardTarget *target, uint32_t color);
// Fills the target share's depth with z.
void cardfilldepth(const CardTarget *target, uint16_t z);

// ---- The card's workers (workers.cpp) ----
//
// With more than one worker, drawing is queued: the device sets each triangle up on the
// calling thread, and every worker draws the queued triangles and clears in order, each
// only the rows of its own share, so the frame is the same bits for any count. Whatever
// reads or frees what queued work uses waits for it first (cardfinish).

// Shares the drawing among count threads: count - 1 workers are started and the calling
// thread draws the first share as it publishes commands (1: none started; the device then
// draws directly); 0 when the threads cannot be started. The queue is allocated here, once.
int cardworkersstart(int count);
void cardworkersstop(void);
// How many workers draw (1 when none were started).
int cardworkercount(void);
// Queues a set-up triangle for target (the workers copy the target and set their share).
void cardqueuetriangle(const CardSetup *s, const CardTarget *target);
// Queues a clear of target's colour to 0x00RRGGBB and, with withdepth, its depth to z.
void cardqueueclear(const CardTarget *target, uint32_t color, int withdepth, uint16_t z);
// Waits until every queued command is drawn.
void cardfinish(void);

// ---- Frame output (capture.cpp) ----
// Frames of width x height RGB (3 bytes a pixel, rows top first, no padding).

// Sets up capture from LWDEMO_CAPTURE and LWDEMO_CAPTURE_EVERY: the folder created (or the
// video's encoder and file opened for a name ending in .mp4 or .mkv), the queue's slots and
// the encoder's memory allocated, the worker started. 1 when capturing or not asked to; 0
// when capture cannot start (its message written, capturelost set).
int captureopen(int width, int height);
// 1 when shown frame number frame, on screen for hold retraces, is one capture takes.
int capturetakes(uint64_t frame, uint64_t hold);
// Queues shown frame number frame (from 1), on screen for hold retraces, when capture
// takes it; waits while the queue is full. Copies rgb; allocates nothing.
void captureframe(const uint8_t *rgb, uint64_t frame, uint64_t hold);
// Writes every queued frame, stops the worker and frees the queue. Also run at exit.
void capturefinish(void);
// 1 once a frame or screenshot could not be written (its one message already written).
int capturelost(void);
// Forgets a lost output, for tests.
void captureresetlost(void);
// Removes the temporary files being written; async-signal-safe.
void captureremovetemporaries(void);
// The base name of name without folders and extension becomes the screenshots' <scene>.
void capturesetname(const char *name);
// Writes rgb as "lwdemo-<scene>-<frame>.png" in the working folder, never over an existing
// file (a suffix "-2", "-3", ... is added); the name written goes to written. 1 written;
// 0 with its message written and capturelost set.
int capturescreenshot(const uint8_t *rgb, int width, int height, uint64_t frame, char *written,
                      size_t writtensize);
// How captured files are written (write(2)); tests put a failing one here.
extern ssize_t (*capturewrite)(int fd, const void *bytes, size_t count);
