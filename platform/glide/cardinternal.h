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

// Where the rasterizer draws: cardwidth x cardheight RGB565 colour and 16-bit depth.
struct CardTarget {
  uint16_t *color = nullptr;
  uint16_t *depth = nullptr;
};

// Draws one triangle with the state st and texture tex (null: untextured). reference = 1
// takes the plain per-pixel path that evaluates every plane directly and decodes every
// state on every pixel; 0 takes the span routine specialised for the state when one
// exists. Both give the same bits.
void carddrawtriangle(const CardState *st, const CardTexture *tex, const CardTarget *target,
                      const GrVertex *a, const GrVertex *b, const GrVertex *c, int reference);
// 1 when the fast span routines cover this state and texture (for the tests).
int cardhasfastpath(const CardState *st, const CardTexture *tex);
// The 16-bit W-buffer value of 1/w: 0 for 1/w >= 1 (or negative), 0xFFFF for
// 1/w < 2^-16, else (e << 12) + (0xFFF - m) + 1 with 1/w in [2^-(e+1), 2^-e) and m the
// 12 bits after its leading 1.
uint16_t cardwdepth(float oow);
// The 565 value the card writes for 8-bit r, g, b at pixel (x, y): 4x4 ordered dither.
uint16_t carddither(int r, int g, int b, int x, int y);
// Fills target's colour with the dithered colour 0x00RRGGBB.
void cardfillcolor(const CardTarget *target, uint32_t color);
