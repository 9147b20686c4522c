#include "lws/motion.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "display/display.h"

int getlwsmotion(const LwsMotion *src, Motion *dst, float scale) {
  if (src->keys == nullptr || src->numkeys <= 0) {
    if (errorlog) fputs("Motion refused: no keys\n", errorlog);
    return 0;
  }
  // A segment of length 0 or a key before its predecessor would divide by zero or
  // walk backwards in evalmotion's segment search.
  for (int i = 1; i < src->numkeys; i++) {
    if (src->keys[i].frame <= src->keys[i - 1].frame) {
      if (errorlog)
        fprintf(errorlog, "Motion refused: key %d at frame %d does not follow frame %d\n", i,
                (int)src->keys[i].frame, (int)src->keys[i - 1].frame);
      return 0;
    }
  }
  // Frame differences are taken in 32 bits by evalmotion; a span beyond that would
  // overflow them.
  int64_t span = (int64_t)src->keys[src->numkeys - 1].frame - src->keys[0].frame;
  if (span > INT32_MAX) {
    if (errorlog)
      fprintf(errorlog, "Motion refused: keys span %lld frames\n", (long long)span);
    return 0;
  }
  MotionKey *keys = (MotionKey *)malloc(sizeof(MotionKey) * (size_t)src->numkeys);
  if (keys == nullptr) {
    if (errorlog) fputs("Memory allocation failed: getlwsmotion", errorlog);
    return 0;
  }
  memcpy(keys, src->keys, sizeof(MotionKey) * (size_t)src->numkeys);
  for (int i = 0; i < src->numkeys; i++)
    for (int c = 0; c < 3; c++) keys[i].values[c] = keys[i].values[c] * scale;
  dst->keys = keys;
  dst->numkeys = src->numkeys;
  dst->endbehavior = src->endbehavior;
  dst->framespan = src->numkeys >= 2 ? keys[src->numkeys - 1].frame - keys[0].frame : 0;
  return 1;
}

void hermite(double t, double *h1, double *h2, double *h3, double *h4) {
  double t2 = t * t;
  double t3 = t * t2;
  *h2 = -2.0 * t3 + 3.0 * t2;
  *h1 = 1.0 - *h2;
  *h3 = -2.0 * t2 + t3 + t;
  *h4 = t3 - t2;
}

void evalmotion(const Motion *motion, Pose *pose, double f) {
  const MotionKey *keys = motion->keys;
  int numkeys = motion->numkeys;
  if (keys == nullptr || numkeys <= 0) return;
  const MotionKey *last = &keys[numkeys - 1];

  if (motion->framespan > 0) {
    int lastframe = last->frame;
    // Truncation toward zero, and integer division below, as the key format intends.
    long F = (long)f;
    if (F > lastframe) {
      if (motion->endbehavior == 2)
        f = f - (double)((F / motion->framespan) * motion->framespan);
      else if (motion->endbehavior == 1)
        f = lastframe;
    }
  }

  // A single key, or a frame beyond the last key that no end behaviour brought back:
  // the last key's values. Without the second case the segment search would run past
  // the last key.
  if (numkeys == 1 || f > (double)last->frame) {
    memcpy(pose->values, last->values, sizeof(pose->values));
    return;
  }

  int i1 = 1;
  while (i1 < numkeys - 1 && (double)keys[i1].frame < f) i1++;
  int i0 = i1 - 1;
  const MotionKey *k0 = &keys[i0];
  const MotionKey *k1 = &keys[i1];

  double n = (double)(k1->frame - k0->frame);
  double t = (f - k0->frame) / n;

  double h1 = 0, h2 = 0, h3 = 0, h4 = 0;
  double a0 = 0, b0 = 0, a1 = 0, b1 = 0, adj0 = 0, adj1 = 0;
  bool spline = k1->linear == 0;
  bool first = i0 == 0;
  bool lastseg = i1 == numkeys - 1;
  if (spline) {
    hermite(t, &h1, &h2, &h3, &h4);
    double T0 = k0->tension, C0 = k0->continuity, B0 = k0->bias;
    double T1 = k1->tension, C1 = k1->continuity, B1 = k1->bias;
    a0 = (1.0 - T0) * (1.0 + C0) * (1.0 + B0);
    b0 = (1.0 - T0) * (1.0 - C0) * (1.0 - B0);
    a1 = (1.0 - T1) * (1.0 - C1) * (1.0 + B1);
    b1 = (1.0 - T1) * (1.0 + C1) * (1.0 - B1);
    if (!first) adj0 = n / (double)(k1->frame - keys[i0 - 1].frame);
    if (!lastseg) adj1 = n / (double)(keys[i1 + 1].frame - k0->frame);
  }

  for (int c = 0; c < 9; c++) {
    double p0 = k0->values[c], p1 = k1->values[c];
    double d = p1 - p0;
    double value;
    if (!spline) {
      value = p0 + t * d;
    } else {
      double out0 = first ? 0.5 * (a0 + b0) * d
                          : adj0 * (a0 * (p0 - (double)keys[i0 - 1].values[c]) + b0 * d);
      double in1 = lastseg ? 0.5 * (a1 + b1) * d
                           : adj1 * (a1 * d + b1 * ((double)keys[i1 + 1].values[c] - p1));
      value = h1 * p0 + h2 * p1 + h3 * out0 + h4 * in1;
    }
    pose->values[c] = (float)value;
  }
}
